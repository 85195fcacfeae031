#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A server that ends within this much of its own start gets the early-exit report; one that ends
// later gets the report of a server that stopped.
constexpr DWORD kEarlyExitWindowMs = 5000;
// Both servers must have run for more than this before the all-started event.
constexpr DWORD kAllStartedDelayMs = 3000;
// Longest wait on an ended web server before its exit code and output are read.
constexpr DWORD kExitWaitMs = 1000;
// Ticks that re-apply the web server's window visibility before the start-up timer stops.
constexpr int kVisibilityPasses = 20;
// The newest part of a server's console output that a report shows, of both streams together.
constexpr size_t kReportOutputChars = 16384;

// Milliseconds from start to now as GetTickCount gives them; unsigned, so right across the wrap.
inline DWORD ticksSince(DWORD now, DWORD start) {
  return now - start;
}

inline bool withinEarlyExitWindow(DWORD now, DWORD startTick) {
  return ticksSince(now, startTick) < kEarlyExitWindowMs;
}

inline bool pastAllStartedDelay(DWORD now, DWORD webStartTick) {
  return ticksSince(now, webStartTick) > kAllStartedDelayMs;
}

// Milliseconds from a process's creation to its exit, as GetProcessTimes gives them; 0 when the
// exit time lies before the creation time.
ULONGLONG lifetimeMs(const FILETIME& created, const FILETIME& exited);

// How long an ended process lived: from its own creation and exit times when the system tells
// them, else the tick count from its start until now.
ULONGLONG endedProcessLifetimeMs(HANDLE process, DWORD startTick, DWORD now);

// "HH:MM:SS", hours with at least two digits.
std::wstring uptimeText(ULONGLONG ms);

// Removes trailing LF, CR and space (nothing else) from the end of output.
std::wstring trimConsoleOutput(const std::wstring& output);

// The newest limit characters of one stream's trimmed output, starting at a line when a line
// break lies inside them, with the cut note in front when anything was left out.
std::wstring reportOutput(const std::wstring& trimmed, size_t limit = kReportOutputChars);

// Both streams as a report shows them: standard output, then standard error, trimmed at the end.
// When together they exceed limit, each keeps its newest half and the share one does not use goes
// to the other; a cut note always starts a line.
std::wstring reportStreams(const std::wstring& out, const std::wstring& err, size_t limit = kReportOutputChars);

// The Journal entries (all errors) that report an early exit of the web server.
std::vector<std::wstring> webServerExitReport(DWORD exitCode, const std::wstring& out, const std::wstring& err);

// The entries for a web server that stopped later than the early-exit window.
std::vector<std::wstring> webServerStoppedReport(DWORD pid, ULONGLONG lifetime, DWORD exitCode, const std::wstring& out,
                                                 const std::wstring& err);

// The entries for a database that stopped later than the early-exit window.
std::vector<std::wstring> databaseStoppedReport(DWORD pid, ULONGLONG lifetime, DWORD exitCode);
