#pragma once

// Clock and memory readings shared by the benchmarks.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Private bytes of this process (Wine leaves PrivateUsage at zero; the pagefile count stands in).
inline SIZE_T privateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

template <typename T>
std::vector<T> sorted(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values;
}

template <typename T>
T median(const std::vector<T>& values) {
  return sorted(values)[values.size() / 2];
}

// "median (lowest-highest)" of times in seconds, shown in milliseconds.
inline std::string spread(const std::vector<double>& values) {
  std::vector<double> s = sorted(values);
  char text[64];
  std::snprintf(text, sizeof text, "%.0f ms (%.0f-%.0f)", s[s.size() / 2] * 1000, s.front() * 1000, s.back() * 1000);
  return text;
}

inline ULONGLONG fileTimeValue(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The wall clock in 100 ns units, on the same scale as the exit time GetProcessTimes gives; as
// fine as the system allows (GetSystemTimePreciseAsFileTime is there from Windows 8 and in Wine).
inline ULONGLONG wallClockNow() {
  using PreciseNow = void(WINAPI*)(LPFILETIME);
  static PreciseNow precise = reinterpret_cast<PreciseNow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME now{};
  if (precise) {
    precise(&now);
  } else {
    GetSystemTimeAsFileTime(&now);
  }
  return fileTimeValue(now);
}

// When that process ended, in wallClockNow's units; 0 while it runs or when it cannot be read.
inline ULONGLONG processExitTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return fileTimeValue(exited);
}
