#pragma once

#include <windows.h>

#include <string>

// Reads up to limit bytes of an open file from offset on; what was read before a failure is kept.
// The limit keeps a huge file from exhausting the memory of a 32-bit process.
std::string readFileBytes(HANDLE file, ULONGLONG offset, ULONGLONG limit);
