#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The words for an exit code that the system gives a program it ended (an NTSTATUS from
// 0xC0000000 up, or a breakpoint), and for a missing DLL the DLLs that are missing.

constexpr DWORD kDllNotFound = 0xC0000135;

// "Причина: 0x<8 hex digits> — <text>." for a code of the system's own: our text for the ones
// users meet most, else systemText (ntdll's message for the code) without a leading "{…}"
// caption, up to its first line break. Empty for a program's own code, or when there is no text.
std::wstring exitReasonLine(DWORD code, const std::wstring& systemText);

// ntdll's message for an NTSTATUS; empty where it has none (Wine's ntdll has no messages).
std::wstring ntStatusMessage(DWORD code);

// The lines that follow "Код завершения: <code>": the reason, and for a missing DLL one line per
// DLL missing for programPath started in folder (empty programPath: none are looked for).
std::vector<std::wstring> exitReasonLines(DWORD code, const std::wstring& programPath, const std::wstring& folder);
