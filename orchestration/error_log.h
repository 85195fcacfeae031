#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A server that writes why it stopped to an error log of its own, not to its console: the log's
// size is noted at the server's start, and its report shows what this run added as one Journal
// entry. Also the few path and command-line rules both servers' log finders share.

// Read of the error log: its newest part only, so a report never waits long on a big file.
constexpr DWORD kErrorLogReadBytes = 1024 * 1024;

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
ErrorLogMark markErrorLog(const std::wstring& path);

// The one Journal entry (red) that tells what the log got since mark was taken, title being the
// log's name ("Журнал ошибок MySQL"): "<title> (<path>):" CR LF and the text added (at most the
// newest kReportOutputChars characters, starting at a line), or the line that it did not change,
// or the line that it was not found. A log that shrank or was replaced is shown from its start.
// Decoded as UTF-8 when valid, else with the ANSI code page.
std::wstring errorLogLines(const ErrorLogMark& mark, const std::wstring& title);

// The words of a command line as the C runtime gives them to a server's main: the program name
// up to its closing quote or the first blank, then arguments with the backslash-and-quote rules.
std::vector<std::wstring> commandLineWords(const std::wstring& line);

// The folder of path ("C:\" at a drive's root); empty when path has no folder part.
std::wstring folderOfPath(const std::wstring& path);

bool isAbsolutePath(const std::wstring& path);

// path against base; a path rooted without a drive is on base's drive. Never relative (empty
// instead): a relative name would be opened from the Launcher's own folder, not the server's.
std::wstring absoluteIn(const std::wstring& base, const std::wstring& path);

std::wstring joinPath(const std::wstring& folder, const std::wstring& name);

// One spelling for a path shown to the user: separators, "." and ".." resolved.
std::wstring fullPathOf(const std::wstring& path);

// A file opened for reading by anyone's leave (a server keeps its files open for writing); null
// when it is missing, locked, a folder or no disk file at all (a device could block a read).
HANDLE openSharedFile(const std::wstring& path, DWORD access);
