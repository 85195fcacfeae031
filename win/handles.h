#pragma once

#include <windows.h>

// Release steps: test for null, release, set null, so that any of them may run twice.

inline void closeHandle(HANDLE& handle) {
  if (handle) {
    CloseHandle(handle);
    handle = nullptr;
  }
}

inline void destroyWindow(HWND& window) {
  if (window) {
    DestroyWindow(window);
    window = nullptr;
  }
}

inline void destroyMenu(HMENU& menu) {
  if (menu) {
    DestroyMenu(menu);
    menu = nullptr;
  }
}

inline void destroyIcon(HICON& icon) {
  if (icon) {
    DestroyIcon(icon);
    icon = nullptr;
  }
}

inline void deleteFont(HFONT& font) {
  if (font) {
    DeleteObject(font);
    font = nullptr;
  }
}

// CreateFileW and a few others report failure as INVALID_HANDLE_VALUE; keep every check a null check.
inline HANDLE nullIfInvalid(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}
