// Teardown and destructor order on a started-up Application without servers.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/control_window.h"

TEST(Shutdown, TeardownReleasesTrayMenuIconAndControlWindowOnce) {
  Application app;
  app.instance = GetModuleHandleW(nullptr);
  ASSERT_TRUE(app.createControlWindow());
  ASSERT_TRUE(app.logWindow.create(app.instance, app.controlWindow));
  app.buildTrayMenu();
  ASSERT_TRUE(app.addTrayIcon());
  SetTimer(app.controlWindow, TIMER_SUPERVISE, 100000, nullptr);
  HWND control = app.controlWindow;
  HMENU menu = app.tray.menu;

  app.endOfRunTeardown();
  EXPECT_FALSE(IsWindow(control));
  EXPECT_FALSE(IsMenu(menu));
  EXPECT_EQ(nullptr, app.controlWindow);
  EXPECT_EQ(nullptr, app.tray.menu);
  EXPECT_EQ(nullptr, app.tray.icon);
  EXPECT_FALSE(app.tray.added);
  // The log window stays until the destructor.
  EXPECT_TRUE(IsWindow(app.logWindow.window));
  // The quit request of the window's own WM_DESTROY is never read; drop it here.
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST(Shutdown, DestructorAfterAnEarlyEndClosesWhatStartUpOpened) {
  HWND control = nullptr;
  HWND log = nullptr;
  {
    Application app;
    app.instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(app.createControlWindow());
    ASSERT_TRUE(app.logWindow.create(app.instance, app.controlWindow));
    app.instanceMutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(nullptr, app.instanceMutex);
    control = app.controlWindow;
    log = app.logWindow.window;
    app.stopChildren();  // no children: nothing to do, twice
    app.stopChildren();
  }
  EXPECT_FALSE(IsWindow(control));
  EXPECT_FALSE(IsWindow(log));
}

TEST(Shutdown, StopServersAndQuitWithoutServersOnlyPostsTheQuit) {
  Application app;
  app.stopServersAndQuit();
  MSG quit;
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(0u, quit.wParam);
}
