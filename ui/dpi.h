#pragma once

#include <windows.h>

// Sizes for the DPI of the monitor a window is on. Everything the Launcher draws is specified at
// 96 DPI (100 %) and scaled from there. The per-monitor functions exist from Windows 10 1607 on
// (a monitor's DPI from 8.1 on); they are looked up at run time so that the program still starts
// on Windows 7, where the system DPI serves instead.

constexpr UINT kDefaultDpi = 96;
// A DPI outside these bounds is no monitor's (Windows offers 100 % to 500 %): a safe default is
// used instead of it.
constexpr UINT kMinDpi = 48;
constexpr UINT kMaxDpi = 960;

// value at 96 DPI, scaled to dpi and rounded.
int scaleForDpi(int value, UINT dpi);
bool usableDpi(UINT dpi);

// The system DPI: the primary monitor's when the user logged on.
UINT systemDpi();
// The DPI of the monitor the window is on, as its process sees it; the system DPI where Windows
// has no per-monitor DPI; never an unusable value.
UINT windowDpi(HWND window);

// Icon sizes (SM_CXICON, SM_CXSMICON) at dpi.
int bigIconSize(UINT dpi);
int smallIconSize(UINT dpi);

// Icon resource id at exactly size x size pixels, drawn from the image nearest that size; to be
// destroyed with DestroyIcon.
HICON loadIconOfSize(HINSTANCE instance, int id, int size);

// Whether the rectangle that WM_DPICHANGED suggests can be taken: not empty, not absurdly large,
// and on some monitor.
bool usableSuggestedRect(const RECT* rect);
