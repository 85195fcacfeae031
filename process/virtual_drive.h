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

// What a drive letter holds: nothing, the program's own drive from an earlier run (it has the
// "home" folder), or something else. Never raises the system's "no disk" box.
enum class DriveLetterState { Free, Ours, Taken };
DriveLetterState driveLetterState(const std::wstring& drive);

enum class SubstResult { NotStarted, TimedOut, Finished };
struct SubstOutcome {
  SubstResult result = SubstResult::NotStarted;
  DWORD error = 0;     // why it could not be started
  DWORD exitCode = 0;  // once finished
};

// Runs the system's subst.exe for drive on folder and waits for it, at most kSubstTimeoutMs.
SubstOutcome runSubst(const std::wstring& drive, const std::wstring& folder);
