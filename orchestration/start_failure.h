#pragma once

#include <windows.h>

#include <string>

// First line of the message for a program that could not be started.
constexpr wchar_t kStartFailureHeading[] = L"Ошибка запуска компонента программы (0x44): \n";
// What the message says for an empty folder: the child takes the Launcher's current directory.
constexpr wchar_t kInheritedFolderName[] = L"(inherit)";

// The whole message for a server that could not be started, from the system error code its start
// gave: the system's text, the command, the folder, and where to get help.
std::wstring startFailureMessage(DWORD error, const std::wstring& commandLine, const std::wstring& folder);
