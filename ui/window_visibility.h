#pragma once

#include <windows.h>

// Shows or hides every top-level window of process pid that has no parent (owned popups are
// left alone); returns the first window shown, null when hiding or when none was found.
HWND applyWindowVisibility(DWORD pid, bool show);
