#pragma once

#include <windows.h>

#include "orchestration/server.h"

// Every configured server must have run for more than this before the all-started event.
constexpr DWORD kAllStartedDelayMs = 3000;
// Ticks that re-apply the web server's window visibility before the start-up timer stops.
constexpr int kVisibilityPasses = 20;

inline bool pastAllStartedDelay(DWORD now, DWORD webStartTick) {
  return ticksSince(now, webStartTick) > kAllStartedDelayMs;
}
