#pragma once

#include <windows.h>

#include <string>

#include "orchestration/error_log.h"

// The database writes why it stopped to its error log, not to its console (unless started with
// --console). This finds that file the way the server itself does.

// Read of an option file: its first part only, so a huge one costs little.
constexpr DWORD kOptionFileReadBytes = 1024 * 1024;
// Nesting of !include / !includedir followed, and option files read in all, so that a file that
// includes itself, or a folder of many, ends.
constexpr int kOptionIncludeDepth = 10;
constexpr int kOptionFilesRead = 64;

// The full path of the error log the server started with commandLine in serverFolder would write;
// empty when none can be determined. program is the full path of the executable that runs it (its
// folder's parent is the server's base folder), empty when not known. *consoleOnly is set when the
// command line has --console: the server then writes its errors to its console and no error log.
std::wstring FindMysqlErrorLog(const std::wstring& commandLine, const std::wstring& program,
                               const std::wstring& serverFolder, bool* consoleOnly);
