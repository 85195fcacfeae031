#include "ui/dpi.h"

#include "win/system_files.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
// GetDpiForMonitor with its MONITOR_DPI_TYPE as an int: not every tool set we build with has
// shellscalingapi.h, and an enum is passed as an int.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

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

// The effective DPI of the window's monitor where only Windows 8.1's shcore.dll tells it (8.1 and
// Windows 10 before 1607); 0 where it can't be had.
UINT monitorDpi(HWND window) {
  HMONITOR monitor = window ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST) : nullptr;
  if (!monitor) return 0;
  HMODULE shcore = loadSystemLibrary(L"shcore.dll");
  if (!shcore) return 0;
  auto forMonitor =
      reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
  UINT dpiX = 0;
  UINT dpiY = 0;
  bool known = forMonitor && SUCCEEDED(forMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY));
  FreeLibrary(shcore);
  return known ? dpiY : 0;
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
  if (!usableDpi(dpi)) dpi = monitorDpi(window);
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
