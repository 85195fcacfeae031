// The tray icon against the real shell (Wine's own notification area under Xvfb).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/application.h"
#include "app/control_window.h"
#include "tests/support/e2e_support.h"

namespace {

using e2e::shellHasIcon;

// A plain hidden window to own icons; destroyed at the end of the test.
struct OwnerWindow {
  HWND window = nullptr;
  OwnerWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WendlorTrayTestOwner";
    RegisterClassExW(&windowClass);
    window = CreateWindowExW(0, L"WendlorTrayTestOwner", L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  }
  ~OwnerWindow() {
    if (window) DestroyWindow(window);
  }
};

HICON testIcon() {
  return CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
}

// Holds an icon of the Launcher's owner and identifier in the shell, so that the Launcher's own
// add is refused, as when the shell is busy or an add timed out after it got there.
struct IconInTheWay {
  NOTIFYICONDATAW data{};
  explicit IconInTheWay(HWND owner) {
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_ADD, &data);
  }
  void remove() { Shell_NotifyIconW(NIM_DELETE, &data); }
};

// Runs the message loop until the Launcher holds the icon again, as its own loop would.
bool pumpUntilAdded(Application& app) {
  return e2e::waitFor(
      [&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return app.trayAdded;
      },
      e2e::kTimeoutMs);
}

}  // namespace

TEST(Tray, AddPutsTheIconInTheShell) {
  OwnerWindow owner;
  ASSERT_NE(nullptr, owner.window);
  HICON icon = testIcon();
  TrayIcon tray;
  ASSERT_TRUE(tray.addTrayIcon(owner.window, icon, WM_TRAYICON, kTrayTip));
  EXPECT_TRUE(tray.added);
  EXPECT_TRUE(shellHasIcon(owner.window));

  tray.removeTrayIcon();
  EXPECT_FALSE(tray.added);
  EXPECT_FALSE(shellHasIcon(owner.window));
  tray.removeTrayIcon();  // nothing left to do
  EXPECT_FALSE(tray.added);
  DestroyIcon(icon);
}

TEST(Tray, LongTipIsCutAt127Characters) {
  OwnerWindow owner;
  TrayIcon tray;
  std::wstring tip(200, L'Ж');
  tip[126] = L'a';
  tip[127] = L'b';
  ASSERT_TRUE(tray.addTrayIcon(owner.window, nullptr, WM_TRAYICON, tip));
  EXPECT_EQ(tip.substr(0, 127), std::wstring(tray.iconData.szTip));
}

TEST(Tray, AddingAgainReplacesTheFirstIcon) {
  OwnerWindow first;
  OwnerWindow second;
  TrayIcon tray;
  ASSERT_TRUE(tray.addTrayIcon(first.window, nullptr, WM_TRAYICON, kTrayTip));
  // The same owner again: the shell would refuse a second icon with identifier 1.
  ASSERT_TRUE(tray.addTrayIcon(first.window, nullptr, WM_TRAYICON, kTrayTip));
  EXPECT_TRUE(shellHasIcon(first.window));
  ASSERT_TRUE(tray.addTrayIcon(second.window, nullptr, WM_TRAYICON, kTrayTip));
  EXPECT_FALSE(shellHasIcon(first.window));
  EXPECT_TRUE(shellHasIcon(second.window));
  tray.removeTrayIcon();
  EXPECT_FALSE(shellHasIcon(second.window));
}

TEST(Tray, ReleaseTrayAndMenuMayRunAnyNumberOfTimes) {
  OwnerWindow owner;
  Application app;
  app.trayMenu = CreatePopupMenu();
  app.trayIconHandle = testIcon();
  app.trayAdded = app.tray.addTrayIcon(owner.window, app.trayIconHandle, WM_TRAYICON, kTrayTip);
  ASSERT_TRUE(app.trayAdded);
  HMENU menu = app.trayMenu;

  app.releaseTrayAndMenu();
  EXPECT_FALSE(app.trayAdded);
  EXPECT_FALSE(app.tray.added);
  EXPECT_EQ(nullptr, app.trayMenu);
  EXPECT_EQ(nullptr, app.trayIconHandle);
  EXPECT_FALSE(IsMenu(menu));
  EXPECT_FALSE(shellHasIcon(owner.window));
  app.releaseTrayAndMenu();
  app.releaseTrayAndMenu();
  EXPECT_EQ(nullptr, app.trayMenu);
}

TEST(Tray, TaskbarCreatedAddsTheSameIconAgain) {
  Application app;
  app.instance = GetModuleHandleW(nullptr);
  ASSERT_TRUE(app.createControlWindow());
  ASSERT_NE(0u, app.taskbarCreatedMessage);
  EXPECT_EQ(RegisterWindowMessageW(L"TaskbarCreated"), app.taskbarCreatedMessage);
  app.trayIconHandle = testIcon();
  ASSERT_TRUE(app.addTrayIcon());

  // A restarted shell knows nothing of the icon.
  NOTIFYICONDATAW forget = app.tray.iconData;
  forget.uFlags = 0;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &forget));
  ASSERT_FALSE(shellHasIcon(app.controlWindow));

  NOTIFYICONDATAW before = app.tray.iconData;
  bool windowsVisible = app.processWindowsVisible;
  EXPECT_EQ(0, SendMessageW(app.controlWindow, app.taskbarCreatedMessage, 0, 0));
  EXPECT_TRUE(shellHasIcon(app.controlWindow));
  EXPECT_TRUE(app.trayAdded);
  EXPECT_TRUE(app.tray.added);
  EXPECT_EQ(0, memcmp(&before, &app.tray.iconData, sizeof before));
  EXPECT_EQ(windowsVisible, app.processWindowsVisible);
  EXPECT_FALSE(app.logWindowVisible);
  MSG quit;
  EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

  // While the shell still holds it, the message changes nothing either.
  EXPECT_EQ(0, SendMessageW(app.controlWindow, app.taskbarCreatedMessage, 0, 0));
  EXPECT_TRUE(shellHasIcon(app.controlWindow));
  EXPECT_TRUE(app.trayAdded);
}

TEST(Tray, TaskbarCreatedWithoutAnIconAddsNone) {
  Application app;
  app.instance = GetModuleHandleW(nullptr);
  ASSERT_TRUE(app.createControlWindow());
  EXPECT_EQ(0, SendMessageW(app.controlWindow, app.taskbarCreatedMessage, 0, 0));
  EXPECT_FALSE(shellHasIcon(app.controlWindow));
  EXPECT_FALSE(app.trayAdded);
  EXPECT_FALSE(app.tray.added);
}

TEST(Tray, RefusedAddIsTriedAgainOnATimerUntilTheShellHoldsTheIcon) {
  // The shell holds nothing when asked again, or already holds the icon (an add that timed out
  // but got there, which a second add would never get past).
  for (bool shellGotIt : {false, true}) {
    SCOPED_TRACE(shellGotIt ? "the first add got there" : "the shell takes the icon later");
    Application app;
    app.instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(app.createControlWindow());
    app.trayIconHandle = testIcon();
    IconInTheWay inTheWay(app.controlWindow);
    ASSERT_TRUE(shellHasIcon(app.controlWindow));
    ASSERT_FALSE(app.addTrayIcon());
    if (!shellGotIt) inTheWay.remove();

    ASSERT_TRUE(pumpUntilAdded(app));
    EXPECT_TRUE(shellHasIcon(app.controlWindow));
    EXPECT_EQ(app.trayIconHandle, app.tray.iconData.hIcon);
    // Once it is there, the timer is gone.
    EXPECT_FALSE(KillTimer(app.controlWindow, TIMER_TRAY_RETRY));
    app.releaseTrayAndMenu();
    EXPECT_FALSE(shellHasIcon(app.controlWindow));
  }
}

TEST(Tray, TaskbarCreatedAddsTheIconEvenWhenTheFirstAddFailed) {
  Application app;
  app.instance = GetModuleHandleW(nullptr);
  ASSERT_TRUE(app.createControlWindow());
  app.trayIconHandle = testIcon();
  IconInTheWay inTheWay(app.controlWindow);
  ASSERT_FALSE(app.addTrayIcon());
  inTheWay.remove();
  ASSERT_FALSE(shellHasIcon(app.controlWindow));

  EXPECT_EQ(0, SendMessageW(app.controlWindow, app.taskbarCreatedMessage, 0, 0));
  EXPECT_TRUE(app.trayAdded);
  EXPECT_TRUE(shellHasIcon(app.controlWindow));
  EXPECT_FALSE(KillTimer(app.controlWindow, TIMER_TRAY_RETRY));
}
