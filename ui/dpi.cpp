#include "ui/dpi.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

// Coordinates beyond this are no screen's: the largest a window can be made.
constexpr LONG kMaxRectExtent = 32767;

template <typename Function>
Function user32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

int metricForDpi(int index, UINT dpi) {
  static const auto forDpi = user32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (forDpi) return forDpi(index, dpi);
  // Before Windows 10 1607 the metrics are those of the system DPI.
  return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(systemDpi()));
}

}  // namespace

int scaleForDpi(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), static_cast<int>(kDefaultDpi));
}

bool usableDpi(UINT dpi) {
  return dpi >= kMinDpi && dpi <= kMaxDpi;
}

UINT systemDpi() {
  static const auto forSystem = user32Function<GetDpiForSystemFn>("GetDpiForSystem");
  UINT dpi = 0;
  if (forSystem) {
    dpi = forSystem();
  } else {
    HDC screen = GetDC(nullptr);
    if (screen) {
      dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
      ReleaseDC(nullptr, screen);
    }
  }
  return usableDpi(dpi) ? dpi : kDefaultDpi;
}

UINT windowDpi(HWND window) {
  static const auto forWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
  UINT dpi = (forWindow && window) ? forWindow(window) : 0;
  return usableDpi(dpi) ? dpi : systemDpi();
}

int bigIconSize(UINT dpi) {
  return metricForDpi(SM_CXICON, dpi);
}

int smallIconSize(UINT dpi) {
  return metricForDpi(SM_CXSMICON, dpi);
}

HICON loadIconOfSize(HINSTANCE instance, int id, int size) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

bool usableSuggestedRect(const RECT* rect) {
  if (!rect) return false;
  LONG width = rect->right - rect->left;
  LONG height = rect->bottom - rect->top;
  if (width <= 0 || height <= 0 || width > kMaxRectExtent || height > kMaxRectExtent) return false;
  if (rect->left < -kMaxRectExtent || rect->top < -kMaxRectExtent || rect->right > kMaxRectExtent ||
      rect->bottom > kMaxRectExtent) {
    return false;
  }
  return MonitorFromRect(rect, MONITOR_DEFAULTTONULL) != nullptr;
}
