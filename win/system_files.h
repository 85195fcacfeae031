#pragma once

#include <windows.h>

#include <string>

// Files of the system that the Launcher uses by name. The program folder is an ordinary user
// folder, so a DLL or a program of the same name dropped beside wendlor.exe must never be the one
// that runs: these come from the system folder only.

// From here on, DLLs loaded by name (by us or by the system's own DLLs) are searched for in the
// system folder only. Does nothing on a Windows that lacks the call.
void restrictDllSearchToSystem();

// GetSystemDirectoryW(); false, with *folder left alone, when it can't be read.
bool systemFolder(std::wstring* folder);

// GetSystemDirectoryW()\name; false, with *path left alone, when the system folder can't be read.
bool systemFilePath(const std::wstring& name, std::wstring* path);

// The library of that name from the system folder; null when it is not there.
HMODULE loadSystemLibrary(const wchar_t* name);
