#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A server's exit is reported only while less than this has passed since its start.
constexpr DWORD kEarlyExitWindowMs = 5000;
// Both servers must have run for more than this before the all-started event.
constexpr DWORD kAllStartedDelayMs = 3000;
// Longest wait on an ended web server before its exit code and output are read.
constexpr DWORD kExitWaitMs = 1000;
// Ticks that re-apply the web server's window visibility before the start-up timer stops.
constexpr int kVisibilityPasses = 20;

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

// Removes trailing LF, CR and space (nothing else) from the end of output.
std::wstring trimConsoleOutput(const std::wstring& output);

// The Journal entries (all errors) that report an early exit of the web server.
std::vector<std::wstring> webServerExitReport(DWORD exitCode, const std::wstring& output);
