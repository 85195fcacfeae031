// The control window's dispatcher, driven with real messages on a real window.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/control_window.h"

namespace {

struct ControlWindowTest : ::testing::Test {
  Application app;
  void SetUp() override {
    app.instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(app.createControlWindow());
  }
  LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(app.controlWindow, message, wParam, lParam);
  }
  // True with *code set when a quit request is waiting.
  static bool takeQuit(WPARAM* code = nullptr) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (code) *code = message.wParam;
    return true;
  }
  std::wstring toggleLabel() const {
    wchar_t label[64] = {};
    GetMenuStringW(app.trayMenu, IDM_TOGGLE_WINDOWS, label, 64, MF_BYCOMMAND);
    return label;
  }
};

// The tray menu is modal; end it from inside its own message loop.
void CALLBACK endMenu(HWND, UINT, UINT_PTR, DWORD) {
  EndMenu();
}

}  // namespace

TEST_F(ControlWindowTest, ExitCommandsLookOnlyAtTheLowWord) {
  EXPECT_EQ(0, send(WM_COMMAND, MAKEWPARAM(IDM_EXIT, 1)));
  WPARAM code = 99;
  ASSERT_TRUE(takeQuit(&code));
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(IsWindow(app.controlWindow));

  // A second request changes nothing once the quit is on its way.
  EXPECT_EQ(0, send(WM_COMMAND, IDM_STOP_AND_EXIT));
  EXPECT_FALSE(takeQuit());

  // Stop and exit with no servers only asks to quit.
  app.phase = LauncherPhase::Running;
  EXPECT_EQ(0, send(WM_COMMAND, MAKEWPARAM(IDM_STOP_AND_EXIT, 0x1234)));
  ASSERT_TRUE(takeQuit(&code));
  EXPECT_EQ(0u, code);
}

TEST_F(ControlWindowTest, OtherCommandsTimersAndTrayEventsChangeNothing) {
  EXPECT_EQ(0, send(WM_COMMAND, 1099));
  EXPECT_EQ(0, send(WM_COMMAND, MAKEWPARAM(7, IDM_EXIT)));
  EXPECT_EQ(0, send(WM_TIMER, 7));
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_LBUTTONDOWN));
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_LBUTTONUP));
  // A right click with no menu shows nothing.
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_RBUTTONUP));
  EXPECT_FALSE(takeQuit());
  EXPECT_TRUE(app.processWindowsVisible);
  EXPECT_FALSE(app.logWindowVisible);
  EXPECT_TRUE(IsWindow(app.controlWindow));
}

TEST_F(ControlWindowTest, ToggleWithoutWebServerFlipsTheFlagAndTheMenuLabel) {
  app.buildTrayMenu();
  ASSERT_NE(nullptr, app.trayMenu);
  EXPECT_EQ(L"Показать/Скрыть", toggleLabel());
  UINT_PTR timer = SetTimer(nullptr, 0, 50, endMenu);

  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_RBUTTONUP));
  EXPECT_EQ(L"Скрыть окна процесса", toggleLabel());

  EXPECT_EQ(0, send(WM_COMMAND, IDM_TOGGLE_WINDOWS));
  EXPECT_FALSE(app.processWindowsVisible);
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_RBUTTONUP));
  EXPECT_EQ(L"Показать окна процесса", toggleLabel());

  EXPECT_EQ(0, send(WM_COMMAND, IDM_TOGGLE_WINDOWS));
  EXPECT_TRUE(app.processWindowsVisible);
  EXPECT_EQ(0, send(WM_COMMAND, IDM_TOGGLE_WINDOWS));
  EXPECT_EQ(0, send(WM_SHOWPROCESSWINDOWS));
  EXPECT_TRUE(app.processWindowsVisible);
  KillTimer(nullptr, timer);
  // Menu order: toggle, separator, restart of the web server (no database is configured), About,
  // Exit.
  EXPECT_EQ(5, GetMenuItemCount(app.trayMenu));
  EXPECT_EQ(IDM_TOGGLE_WINDOWS, GetMenuItemID(app.trayMenu, 0));
  EXPECT_EQ(IDM_RESTART_WEB_SERVER, GetMenuItemID(app.trayMenu, 2));
  EXPECT_EQ(IDM_ABOUT, GetMenuItemID(app.trayMenu, 3));
  EXPECT_EQ(IDM_EXIT, GetMenuItemID(app.trayMenu, 4));
  EXPECT_FALSE(takeQuit());
}

TEST_F(ControlWindowTest, DoubleClickTogglesTheLogWindow) {
  ASSERT_TRUE(app.createLogWindow(app.instance));
  app.trayAdded = true;  // the double click comes from the icon
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK));
  EXPECT_TRUE(app.logWindowVisible);
  EXPECT_TRUE(IsWindowVisible(app.logWindow));
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK));
  EXPECT_FALSE(app.logWindowVisible);
  EXPECT_FALSE(IsWindowVisible(app.logWindow));

  // Closed by its own close box, it comes back on the next double click.
  send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
  SendMessageW(app.logWindow, WM_CLOSE, 0, 0);
  ASSERT_FALSE(IsWindowVisible(app.logWindow));
  send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(app.logWindow));
  EXPECT_TRUE(app.logWindowVisible);
}

TEST_F(ControlWindowTest, CloseFromOutsideReleasesTheTrayAndQuits) {
  app.buildTrayMenu();
  app.trayIconHandle = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
  app.trayAdded = app.tray.addTrayIcon(app.controlWindow, app.trayIconHandle, WM_TRAYICON, kTrayTip);
  ASSERT_TRUE(app.trayAdded);
  HWND window = app.controlWindow;

  send(WM_CLOSE);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(nullptr, app.controlWindow);
  EXPECT_FALSE(app.trayAdded);
  EXPECT_FALSE(app.tray.added);
  EXPECT_EQ(nullptr, app.trayMenu);
  EXPECT_EQ(nullptr, app.trayIconHandle);
  WPARAM code = 99;
  ASSERT_TRUE(takeQuit(&code));
  EXPECT_EQ(0u, code);

  // The teardown after the loop finds nothing left, and may run again.
  app.endOfRunTeardown();
  app.endOfRunTeardown();
  EXPECT_EQ(nullptr, app.controlWindow);
}
