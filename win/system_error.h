#pragma once

#include <windows.h>

#include <string>

// The system's text for a Windows error code without surrounding blanks and line breaks,
// "Win32 error: <code>" when the system has none, and an empty text for 0.
std::wstring formatSystemError(DWORD code);
