#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/e2e_support.h"
#include "ui/dpi.h"
#include "ui/log_window.h"

namespace {

RECT rectIn(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LONG fontHeight(HFONT handle) {
  LOGFONTW font{};
  GetObjectW(handle, sizeof font, &font);
  return font.lfHeight;
}

int iconWidth(HWND window, WPARAM which) {
  HICON icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0));
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return 0;
  BITMAP colour{};
  GetObjectW(info.hbmColor, sizeof colour, &colour);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return colour.bmWidth;
}

// Everything that LogWindow::layout places, at the sizes of one DPI, read from the windows.
struct Layout {
  LONG journalFont, buttonFont;
  RECT client, exit, collapse, edit;
};

Layout layoutOf(const LogWindow& log) {
  Layout l{};
  // A rich edit does not answer WM_GETFONT: its font is the one the window made for it.
  l.journalFont = fontHeight(log.journalFont);
  l.buttonFont = fontHeight(reinterpret_cast<HFONT>(SendMessageW(log.exitButton, WM_GETFONT, 0, 0)));
  GetClientRect(log.window, &l.client);
  l.exit = rectIn(log.window, log.exitButton);
  l.collapse = rectIn(log.window, log.collapseButton);
  l.edit = rectIn(log.window, log.edit);
  return l;
}

// The sizes of the log window at 144 DPI: its 96-DPI sizes times 1.5, rounded as MulDiv rounds.
void expect144(const Layout& l) {
  EXPECT_EQ(l.journalFont, 23);  // 15
  EXPECT_EQ(l.buttonFont, -17);  // -11
  EXPECT_EQ(l.exit.left, 15);    // 10
  EXPECT_EQ(l.exit.right - l.exit.left, 120);
  EXPECT_EQ(l.exit.bottom - l.exit.top, 38);
  EXPECT_EQ(l.exit.top, l.client.bottom - 53);  // 35
  EXPECT_EQ(l.collapse.right, l.client.right - 15);
  EXPECT_EQ(l.collapse.right - l.collapse.left, 120);
  EXPECT_EQ(l.collapse.bottom - l.collapse.top, 38);
  EXPECT_EQ(l.edit.bottom, l.client.bottom - 68);  // 45
  EXPECT_EQ(l.edit.right, l.client.right);
  // Both buttons inside the window, below the Journal and apart.
  for (const RECT& button : {l.exit, l.collapse}) {
    EXPECT_GE(button.left, 0);
    EXPECT_LE(button.right, l.client.right);
    EXPECT_GE(button.top, l.edit.bottom);
    EXPECT_LE(button.bottom, l.client.bottom);
  }
  EXPECT_LT(l.exit.right, l.collapse.left);
}

using SetThreadDpiAwarenessContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);

// Makes the test thread per-monitor aware, as the manifest makes wendlor.exe, where Windows has
// the call (Wine gives every program the display's DPI anyway).
struct PerMonitorThread {
  SetThreadDpiAwarenessContextFn set = nullptr;
  DPI_AWARENESS_CONTEXT previous = nullptr;
  PerMonitorThread() {
    set = reinterpret_cast<SetThreadDpiAwarenessContextFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    if (set) previous = set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (set && !previous) previous = set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
  }
  ~PerMonitorThread() {
    if (set && previous) set(previous);
  }
};

}  // namespace

// Run by the 144-DPI test prefix (WENDLOR_TEST_DPI=144); elsewhere only on a 150 % display.
TEST(JournalAt144Dpi, FontButtonsAndMarginsAreOneAndAHalfTimesTheirSizeAndInside) {
  PerMonitorThread aware;
  LogWindow log;
  ASSERT_TRUE(log.create(GetModuleHandleW(nullptr), nullptr));
  const char* wanted = std::getenv("WENDLOR_TEST_DPI");
  UINT dpi = windowDpi(log.window);
  if (wanted) {
    ASSERT_EQ(dpi, static_cast<UINT>(std::atoi(wanted))) << "the test prefix is not at the DPI this run asks for";
  } else if (dpi != 144) {
    GTEST_SKIP() << "the display is at " << dpi << " DPI; the 144-DPI test prefix runs this";
  }
  EXPECT_EQ(log.dpi, 144u);
  RECT window;
  GetWindowRect(log.window, &window);
  EXPECT_EQ(window.right - window.left, 900);
  EXPECT_EQ(window.bottom - window.top, 600);
  log.show();
  expect144(layoutOf(log));
  EXPECT_EQ(iconWidth(log.window, ICON_SMALL), 24);
  EXPECT_EQ(iconWidth(log.window, ICON_BIG), 48);
}

struct JournalDpiChange : ::testing::Test {
  LogWindow log;
  void SetUp() override {
    ASSERT_TRUE(log.create(GetModuleHandleW(nullptr), nullptr));
    if (log.dpi != kDefaultDpi) GTEST_SKIP() << "written for a 96-DPI display";
    log.show();
  }
  RECT windowRect() {
    RECT r;
    GetWindowRect(log.window, &r);
    return r;
  }
  void dpiChanged(UINT dpi, const RECT* suggested) {
    SendMessageW(log.window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(suggested));
  }
};

TEST_F(JournalDpiChange, TheWindowTakesTheSuggestedRectangleAndEverythingFollowsBothWays) {
  RECT bigger = {40, 30, 40 + 900, 30 + 600};
  dpiChanged(144, &bigger);
  RECT now = windowRect();
  EXPECT_EQ(now.left, 40);
  EXPECT_EQ(now.top, 30);
  EXPECT_EQ(now.right, 940);
  EXPECT_EQ(now.bottom, 630);
  expect144(layoutOf(log));
  EXPECT_EQ(iconWidth(log.window, ICON_SMALL), 24);
  EXPECT_EQ(iconWidth(log.window, ICON_BIG), 48);

  RECT back = {40, 30, 40 + 600, 30 + 400};
  dpiChanged(96, &back);
  Layout l = layoutOf(log);
  EXPECT_EQ(l.journalFont, 15);
  EXPECT_EQ(l.buttonFont, -11);
  EXPECT_EQ(l.exit.right - l.exit.left, 80);
  EXPECT_EQ(l.exit.bottom - l.exit.top, 25);
  EXPECT_EQ(l.exit.top, l.client.bottom - 35);
  EXPECT_EQ(l.edit.bottom, l.client.bottom - 45);
  EXPECT_EQ(iconWidth(log.window, ICON_SMALL), 16);
  EXPECT_EQ(iconWidth(log.window, ICON_BIG), 32);
}

TEST_F(JournalDpiChange, AbsurdMessagesLeaveTheWindowWhereItIsWithUsableSizes) {
  const RECT before = windowRect();
  const RECT empty = {0, 0, 0, 0};
  const RECT inverted = {500, 500, 100, 100};
  const RECT huge = {0, 0, 2000000000, 2000000000};
  const RECT offScreen = {30000, 30000, 30600, 30400};
  struct Case {
    UINT dpi;
    const RECT* rect;
    LONG journalFont;  // what the Journal's font then is
  } cases[] = {
      {0, &empty, 15},        // no DPI at all: the window's own
      {65535, &huge, 15},     // no monitor's DPI
      {120, &inverted, 19},   // 125 %: taken, but not the rectangle
      {168, &offScreen, 26},  // 175 %, on no monitor
      {144, nullptr, 23},
  };
  for (const Case& c : cases) {
    dpiChanged(c.dpi, c.rect);
    RECT now = windowRect();
    EXPECT_EQ(now.left, before.left) << c.dpi;
    EXPECT_EQ(now.top, before.top) << c.dpi;
    EXPECT_EQ(now.right, before.right) << c.dpi;
    EXPECT_EQ(now.bottom, before.bottom) << c.dpi;
    Layout l = layoutOf(log);
    EXPECT_EQ(l.journalFont, c.journalFont) << c.dpi;
    EXPECT_GE(l.exit.left, 0) << c.dpi;
    EXPECT_LE(l.collapse.right, l.client.right) << c.dpi;
    EXPECT_LE(l.exit.bottom, l.client.bottom) << c.dpi;
  }
}

TEST(Dpi, ScalingRoundsAndUnusableValuesAreRefused) {
  EXPECT_EQ(scaleForDpi(25, 96), 25);
  EXPECT_EQ(scaleForDpi(25, 120), 31);  // 31.25
  EXPECT_EQ(scaleForDpi(25, 144), 38);  // 37.5, rounded up
  EXPECT_EQ(scaleForDpi(-11, 144), -17);
  EXPECT_EQ(scaleForDpi(45, 192), 90);
  EXPECT_FALSE(usableDpi(0));
  EXPECT_FALSE(usableDpi(100000));
  EXPECT_TRUE(usableDpi(96));
  EXPECT_TRUE(usableDpi(480));
  EXPECT_FALSE(usableSuggestedRect(nullptr));
}
