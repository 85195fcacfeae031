#pragma once

#include <windows.h>

#include <string>

// How long the start-up waits for subst before it goes on without the drive.
constexpr DWORD kSubstTimeoutMs = 10000;

// The drive setting after trimming when it is one letter A-Z (either case) and a colon;
// false for anything else, which must never reach subst's command line.
bool ParseSubstDrive(const std::wstring& setting, std::wstring* drive);

// "\"<subst>\" <drive> \"<folder>\"", for subst.exe itself: the folder is quoted so that one with
// spaces stays one argument; trailing backslashes are doubled so that "C:\" does not escape the
// closing quote.
std::wstring SubstCommandLine(const std::wstring& substPath, const std::wstring& drive, const std::wstring& folder);
