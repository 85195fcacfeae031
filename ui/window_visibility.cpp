#include "ui/window_visibility.h"

// Placeholder until window visibility lands.
HWND applyWindowVisibility(DWORD, bool) { return nullptr; }
