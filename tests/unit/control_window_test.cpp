// The shell's control window, driven with real messages on a real window.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/control_window.h"
#include "tests/support/e2e_support.h"

namespace {

struct ControlWindowTest : ::testing::Test {
  Application app;
  void SetUp() override {
    app.instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(app.createControlWindow());
    // The default settings: a web server (not started) and no database.
    app.stack.configure(app.config, L"", kServerKinds, kServerKindCount);
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
};

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

  app.stack.phase = StackPhase::Running;
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
  EXPECT_TRUE(app.stack.windowsVisible);
  EXPECT_FALSE(app.logWindow.visible);
  EXPECT_TRUE(IsWindow(app.controlWindow));
}

TEST_F(ControlWindowTest, ToggleFlipsTheWindowsAndTheMenuHasAnItemForEachConfiguredServer) {
  EXPECT_EQ(0, send(WM_COMMAND, IDM_TOGGLE_WINDOWS));
  EXPECT_FALSE(app.stack.windowsVisible);
  EXPECT_EQ(0, send(WM_COMMAND, IDM_TOGGLE_WINDOWS));
  EXPECT_TRUE(app.stack.windowsVisible);
  EXPECT_EQ(0, send(WM_COMMAND, IDM_TOGGLE_WINDOWS));
  EXPECT_EQ(0, send(WM_SHOWPROCESSWINDOWS));
  EXPECT_TRUE(app.stack.windowsVisible);
  // No database is configured: the menu has no item for it.
  ASSERT_TRUE(app.addTrayIcon());
  EXPECT_EQ(5, GetMenuItemCount(app.tray.menu));
  EXPECT_EQ(IDM_RESTART_WEB_SERVER, GetMenuItemID(app.tray.menu, 2));
  EXPECT_FALSE(takeQuit());
}

TEST_F(ControlWindowTest, DoubleClickTogglesTheLogWindow) {
  ASSERT_TRUE(app.logWindow.create(app.instance, app.controlWindow));
  app.logWindow.hidesToTray = true;  // the double click comes from the icon
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK));
  EXPECT_TRUE(IsWindowVisible(app.logWindow.window));
  EXPECT_EQ(0, send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK));
  EXPECT_FALSE(IsWindowVisible(app.logWindow.window));

  // Closed by its own close box, it comes back on the next double click.
  send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
  SendMessageW(app.logWindow.window, WM_CLOSE, 0, 0);
  ASSERT_FALSE(IsWindowVisible(app.logWindow.window));
  send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(app.logWindow.window));
}

TEST_F(ControlWindowTest, ExitButtonOfTheLogWindowWritesItsLineAndEndsTheLoop) {
  ASSERT_TRUE(app.logWindow.create(app.instance, app.controlWindow));
  app.stack.phase = StackPhase::Running;
  SendMessageW(app.logWindow.window, WM_COMMAND, MAKEWPARAM(IDC_LOG_EXIT, BN_CLICKED),
               reinterpret_cast<LPARAM>(app.logWindow.exitButton));
  std::vector<e2e::JournalEntry> got = e2e::readJournal(app.logWindow.edit);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().text, L"Завершение работы программы...");
  WPARAM code = 99;
  ASSERT_TRUE(takeQuit(&code));
  EXPECT_EQ(0u, code);
}

// The start's announcement hides the Journal to the tray; without the tray icon the Journal is the
// only way back, and stays.
TEST_F(ControlWindowTest, TheStartsAnnouncementHidesTheJournalOnlyToTheTray) {
  ASSERT_TRUE(app.logWindow.create(app.instance, app.controlWindow));
  StackReport allStarted;
  allStarted.allStarted = true;
  app.logWindow.show();
  app.show(allStarted);
  EXPECT_TRUE(IsWindowVisible(app.logWindow.window));
  EXPECT_EQ(e2e::readJournal(app.logWindow.edit).back().text, L"Все процессы успешно запущены.");

  ASSERT_TRUE(app.addTrayIcon());
  app.show(allStarted);
  EXPECT_FALSE(IsWindowVisible(app.logWindow.window));
  EXPECT_EQ(e2e::readJournal(app.logWindow.edit).back().text, L"Все процессы успешно запущены. Окно журнала скрыто.");
}

// A refused add is tried again on a timer until the shell takes the icon, and TaskbarCreated adds
// it again after the shell forgot it.
TEST_F(ControlWindowTest, TheTrayIconComesBackOnTheRetryTimerAndOnTaskbarCreated) {
  NOTIFYICONDATAW inTheWay{};
  inTheWay.cbSize = sizeof inTheWay;
  inTheWay.hWnd = app.controlWindow;
  inTheWay.uID = kTrayIconId;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &inTheWay));
  ASSERT_FALSE(app.addTrayIcon());
  Shell_NotifyIconW(NIM_DELETE, &inTheWay);
  ASSERT_TRUE(e2e::waitFor(
      [&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return app.tray.added;
      },
      e2e::kTimeoutMs));
  EXPECT_TRUE(app.logWindow.hidesToTray);
  // Once it is there, the timer is gone.
  EXPECT_FALSE(KillTimer(app.controlWindow, TIMER_TRAY_RETRY));

  // A restarted shell knows nothing of the icon.
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &inTheWay));
  send(app.tray.taskbarCreatedMessage);
  EXPECT_TRUE(e2e::shellHasIcon(app.controlWindow));
  EXPECT_FALSE(takeQuit());
  // Once given back, TaskbarCreated adds nothing.
  app.tray.release();
  send(app.tray.taskbarCreatedMessage);
  EXPECT_FALSE(e2e::shellHasIcon(app.controlWindow));
}

TEST_F(ControlWindowTest, CloseFromOutsideReleasesTheTrayAndQuitsAndTheReleaseMayRunAgain) {
  ASSERT_TRUE(app.logWindow.create(app.instance, app.controlWindow));
  ASSERT_TRUE(app.addTrayIcon());
  HWND window = app.controlWindow;
  HMENU menu = app.tray.menu;

  send(WM_CLOSE);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(nullptr, app.controlWindow);
  EXPECT_FALSE(app.tray.added);
  EXPECT_FALSE(IsMenu(menu));
  WPARAM code = 99;
  ASSERT_TRUE(takeQuit(&code));
  EXPECT_EQ(0u, code);

  HWND log = app.logWindow.window;
  app.release();
  app.release();
  EXPECT_FALSE(IsWindow(log));
  EXPECT_EQ(nullptr, app.logWindow.window);
}
