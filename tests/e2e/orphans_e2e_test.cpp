// A Launcher that dies without its teardown (ended from the Task Manager, or a crash) takes its
// servers, and what they started, with it; one that ends normally leaves a web server still busy
// with its Ctrl+C to finish by itself.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"

namespace {

using OrphansE2e = e2e::StandInsTest;

}  // namespace

// Asked whether the session may end, the Launcher lets its servers outlive it (Windows ends a
// program that holds the session up without a window, and ends each server at its own turn), and
// shows its Journal to hold the reason; a cancelled logoff ties them to it again.
TEST_F(OrphansE2e, ALauncherEndedByForceTakesItsServersWithItUnlessNoTerminateOrTheSessionEnds) {
  enum Before { Nothing, Query, CancelledQuery };
  struct Row {
    const wchar_t* tag;
    bool noTerminate;
    Before before;
    bool kept;
  };
  const Row rows[] = {
      {L"-ended", false, Nothing, false},
      {L"-kept", true, Nothing, true},
      {L"-query", false, Query, true},
      {L"-cancelled", false, CancelledQuery, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(e2e::toUtf8(row.tag));
    e2e::StandInStack stack;
    LauncherConfig config;
    config.noTerminate = row.noTerminate;
    ASSERT_NO_FATAL_FAILURE(stack.start(standIns, row.tag, L"--grandchild 60000", L"", config));
    e2e::Process grandchild;
    ASSERT_TRUE(e2e::waitFor([&] { return e2e::markerNumber(stack.web.marker, L"grandchild") != 0; }, e2e::kTimeoutMs));
    ASSERT_TRUE(grandchild.attach(e2e::markerNumber(stack.web.marker, L"grandchild")));
    if (row.before != Nothing) {
      ASSERT_TRUE(stack.launcher.waitJournal(L"Окно журнала скрыто.", e2e::kTimeoutMs));
      ASSERT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(stack.log); }, e2e::kTimeoutMs));
      LRESULT answer = FALSE;
      ASSERT_TRUE(stack.send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, &answer));
      EXPECT_EQ(TRUE, answer);
      EXPECT_TRUE(IsWindowVisible(stack.log));
      if (row.before == CancelledQuery) {
        ASSERT_TRUE(stack.send(WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF));
      }
    }

    ASSERT_TRUE(TerminateProcess(stack.launcher.process.handle, 1));
    ASSERT_TRUE(stack.launcher.waitExit(e2e::kTimeoutMs, nullptr));
    if (row.kept) {
      EXPECT_TRUE(stack.web.running());
      EXPECT_TRUE(stack.db.running());
      EXPECT_TRUE(grandchild.running());
    } else {
      EXPECT_TRUE(stack.web.waitEnd());
      EXPECT_TRUE(stack.db.waitEnd());
      EXPECT_TRUE(grandchild.waitExit(e2e::kTimeoutMs));
    }
  }
}

TEST_F(OrphansE2e, AfterANormalExitTheWebServerFinishesItsCtrlCByItself) {
  e2e::StandInStack stack;
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"--ctrlc-delay 2000", L""));
  stack.launcher.quitAndExpectZero();
  DWORD code = 0;
  ASSERT_TRUE(stack.web.process.waitExit(e2e::kTimeoutMs, &code));
  EXPECT_EQ(130u, code) << stack.web.events();
  EXPECT_TRUE(stack.web.has(L"exit=130")) << stack.web.events();
}
