#pragma once

#include <windows.h>

// Handed through EnumWindows to the callback of applyWindowVisibility.
struct WindowVisibilityRequest {
  DWORD pid = 0;
  bool show = false;
  HWND firstShown = nullptr;
};

// Shows or hides every top-level window of process pid that has no parent (owned popups are
// left alone); returns the first window shown, null when hiding or when none was found.
HWND applyWindowVisibility(DWORD pid, bool show);
