#pragma once

#include <windows.h>

#include <string>

// The database writes why it stopped to its error log, not to its console (unless started with
// --console). These find that file the way the server itself does, note its size at the server's
// start, and give what this run added to it as one Journal entry.

// Read of an option file: its first part only, so a huge one costs little.
constexpr DWORD kOptionFileReadBytes = 1024 * 1024;
// Nesting of !include / !includedir followed, and option files read in all, so that a file that
// includes itself, or a folder of many, ends.
constexpr int kOptionIncludeDepth = 10;
constexpr int kOptionFilesRead = 64;
// Read of the error log: its newest part only, so a report never waits long on a big file.
constexpr DWORD kErrorLogReadBytes = 1024 * 1024;

// The full path of the error log the server started with commandLine in serverFolder would write;
// empty when none can be determined. program is the full path of the executable that runs it (its
// folder's parent is the server's base folder), empty when not known. *consoleOnly is set when the
// command line has --console: the server then writes its errors to its console and no error log.
std::wstring FindMysqlErrorLog(const std::wstring& commandLine, const std::wstring& program,
                               const std::wstring& serverFolder, bool* consoleOnly);

// The error log as it was when the server started, so that only what this run added is shown.
struct ErrorLogMark {
  std::wstring path;  // empty: no log could be determined
  bool existed = false;
  ULONGLONG size = 0;
  // Which file it was: a log replaced meanwhile is shown from its start.
  DWORD volume = 0;
  ULONGLONG fileIndex = 0;
};

// Notes path's size and identity now; a file missing or unreadable counts as not existing.
ErrorLogMark MarkMysqlErrorLog(const std::wstring& path);

// The one Journal entry (red) that tells what the log got since mark was taken:
// "Журнал ошибок MySQL (<path>):" CR LF and the text added (at most the newest
// kReportOutputChars characters, starting at a line), or the line that it did not change, or the
// line that it was not found. A log that shrank or was replaced is shown from its start. Decoded
// as UTF-8 when valid, else with the ANSI code page.
std::wstring MysqlErrorLogLines(const ErrorLogMark& mark);
