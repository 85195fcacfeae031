// Every way the real program ends, with fixtures as the web server and the database: the exit
// code, what each server got, and that the database was stopped before the web server's Ctrl+C.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/control_window.h"
#include "tests/support/e2e_support.h"
#include "ui/journal.h"

namespace {

using e2e::kTimeoutMs;
constexpr DWORD kDatabaseBoundMs = 10000;

struct Stack {
  e2e::Launcher launcher;
  e2e::StandIn web;
  e2e::StandIn db;
  HWND control = nullptr;

  // Starts the Launcher with both stand-ins, named after tag among the test's stand-ins; the
  // extra arguments go to each of them.
  bool start(e2e::StandIns& standIns, const std::wstring& tag, const std::wstring& webArgs, const std::wstring& dbArgs,
             bool noTerminate = false) {
    web.marker = standIns.marker(L"web" + tag);
    db.marker = standIns.marker(L"db" + tag);
    LauncherConfig settings;
    settings.webServer = standIns.command(L"web" + tag, webArgs);
    settings.mysqlServer = standIns.command(L"db" + tag, dbArgs);
    settings.noTerminate = noTerminate;
    if (!launcher.prepare(settings) || !launcher.start()) return false;
    if (!web.attach() || !db.attach()) return false;
    control = launcher.controlWindow();
    return control != nullptr;
  }
};

struct ShutdownE2e : ::testing::Test {
  e2e::StandIns standIns;
  void TearDown() override { standIns.endAll(); }
};

}  // namespace

TEST_F(ShutdownE2e, EveryWayOutStopsTheDatabaseFirstAndEndsWithZero) {
  struct Way {
    const char* name;
    void (*trigger)(Stack&);
  };
  const Way ways[] = {
      {"menu Exit with a notification code",
       [](Stack& s) { PostMessageW(s.control, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 1), 0); }},
      {"stop and exit command", [](Stack& s) { PostMessageW(s.control, WM_COMMAND, IDM_STOP_AND_EXIT, 0); }},
      {"log window Exit button", [](Stack& s) { PostMessageW(s.launcher.logWindow(), WM_COMMAND, IDC_LOG_EXIT, 0); }},
      {"WM_CLOSE from another program", [](Stack& s) { PostMessageW(s.control, WM_CLOSE, 0, 0); }},
  };
  int tag = 0;
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    Stack stack;
    ASSERT_TRUE(stack.start(standIns, std::to_wstring(++tag), L"", L""));
    way.trigger(stack);
    stack.launcher.expectExitZero();
    ASSERT_TRUE(stack.db.waitEnd());
    ASSERT_TRUE(stack.web.waitEnd());
    EXPECT_TRUE(stack.db.has(L"ctrlc")) << stack.db.events();
    EXPECT_TRUE(stack.db.has(L"exit=130")) << stack.db.events();
    EXPECT_TRUE(stack.web.has(L"ctrlc")) << stack.web.events();
    // The web server got its interrupt only after the database had gone.
    EXPECT_LE(stack.db.exitTime(), stack.web.exitTime());
  }
}

TEST_F(ShutdownE2e, DatabaseIgnoringCtrlCIsTerminatedAfterTheBound) {
  Stack stack;
  ASSERT_TRUE(stack.start(standIns, L"", L"", L"--ignore-ctrlc"));
  DWORD posted = GetTickCount();
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  ASSERT_TRUE(stack.db.waitEnd());
  DWORD waited = GetTickCount() - posted;
  EXPECT_TRUE(stack.db.has(L"ctrlc-ignored")) << stack.db.events();
  EXPECT_EQ(0u, stack.db.exitCode());
  EXPECT_GE(waited, kDatabaseBoundMs - 1000);
  stack.launcher.expectExitZero();
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.web.has(L"ctrlc"));
  EXPECT_LE(stack.db.exitTime(), stack.web.exitTime());
}

TEST_F(ShutdownE2e, NoTerminateLeavesBothServersRunning) {
  for (UINT command : {IDM_EXIT, IDM_STOP_AND_EXIT}) {
    SCOPED_TRACE(command);
    Stack stack;
    ASSERT_TRUE(stack.start(standIns, std::to_wstring(command), L"", L"", true));
    stack.launcher.quitAndExpectZero(command);
    EXPECT_TRUE(stack.db.running());
    EXPECT_TRUE(stack.web.running());
    EXPECT_FALSE(stack.db.has(L"ctrlc"));
    EXPECT_FALSE(stack.web.has(L"ctrlc"));
  }
}

TEST_F(ShutdownE2e, WebServerIgnoringCtrlCIsLeftRunningAndTheLauncherEndsAtOnce) {
  Stack stack;
  ASSERT_TRUE(stack.start(standIns, L"", L"--ignore-ctrlc", L""));
  DWORD posted = GetTickCount();
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  stack.launcher.expectExitZero();
  EXPECT_LT(GetTickCount() - posted, kDatabaseBoundMs / 2);
  ASSERT_TRUE(stack.db.waitEnd());
  EXPECT_TRUE(stack.web.waitFor(L"ctrlc-ignored"));
  EXPECT_TRUE(stack.web.running());
}

TEST_F(ShutdownE2e, ServerThatAlreadyEndedIsNotInterrupted) {
  Stack stack;
  ASSERT_TRUE(stack.start(standIns, L"", L"", L"--run 200"));
  ASSERT_TRUE(stack.db.waitEnd());
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  stack.launcher.expectExitZero();
  EXPECT_FALSE(stack.db.has(L"ctrlc")) << stack.db.events();
  EXPECT_FALSE(stack.db.has(L"ctrlc-ignored"));
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.web.has(L"ctrlc"));
}

TEST_F(ShutdownE2e, CommandsPiledUpEndItOnceWithZero) {
  Stack stack;
  ASSERT_TRUE(stack.start(standIns, L"", L"", L""));
  PostMessageW(stack.control, WM_COMMAND, IDM_STOP_AND_EXIT, 0);
  PostMessageW(stack.control, WM_CLOSE, 0, 0);
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  PostMessageW(stack.control, WM_COMMAND, IDM_STOP_AND_EXIT, 0);
  stack.launcher.expectExitZero();
  ASSERT_TRUE(stack.db.waitEnd());
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.db.has(L"exit=130"));
  EXPECT_TRUE(stack.web.has(L"exit=130"));
}
