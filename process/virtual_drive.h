#pragma once

#include <string>

// The drive setting after trimming when it is one letter A-Z (either case) and a colon;
// false for anything else, which must never reach the command line of cmd.exe.
bool ParseSubstDrive(const std::wstring& setting, std::wstring* drive);

// "cmd.exe /c subst <drive> \"<folder>\"": the folder is quoted so that one with spaces stays
// one argument; trailing backslashes are doubled so that "C:\" does not escape the closing quote.
std::wstring SubstCommandLine(const std::wstring& drive, const std::wstring& folder);
