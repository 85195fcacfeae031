#pragma once

#include <windows.h>

#include <string>

#include "process/child_process.h"

// First line of the message for a program that could not be started.
constexpr wchar_t kStartFailureHeading[] = L"Ошибка запуска компонента программы (0x44): \n";
// What the message says for an empty folder: the child takes the Launcher's current directory.
constexpr wchar_t kInheritedFolderName[] = L"(inherit)";

// The whole message for a server that could not be started, from the system error code its start
// gave: the system's text, the command, the folder, and where to get help.
std::wstring startFailureMessage(DWORD error, const std::wstring& commandLine, const std::wstring& folder);

// The text of a failed start: a pipe that could not be made, or the whole message above.
std::wstring startFailureText(const StartFailure& failure, const std::wstring& commandLine, const std::wstring& folder);
