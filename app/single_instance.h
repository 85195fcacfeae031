#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The guard's name is taken from the executable's path, so copies in other folders do not
// exclude each other, while the "Local\" prefix keeps it to one logon session.
constexpr wchar_t kInstanceMutexPrefix[] = L"Local\\WENDLOR_";
constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;

// 64-bit FNV-1a over the UTF-16 code units of text (each unit whole, not its bytes).
uint64_t HashProgramPath(const std::wstring& text);
// kInstanceMutexPrefix followed by the hash as 16 lowercase hexadecimal digits.
std::wstring InstanceMutexName(const std::wstring& programPath);

// Whether CreateMutexW's outcome for the guard (a handle or none, then GetLastError()) says that
// another Launcher already runs.
bool OtherInstanceRuns(bool gotHandle, DWORD error);

// Takes the guard of this program's path into *mutex; false when another Launcher of the same
// program already runs.
bool acquireSingleInstance(HANDLE* mutex);
