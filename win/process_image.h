#pragma once

#include <windows.h>

#include <string>

// The full path of the executable a process runs; false when the system does not tell (a handle
// without a query right, a process of another account).
bool processImagePath(HANDLE process, std::wstring* path);
