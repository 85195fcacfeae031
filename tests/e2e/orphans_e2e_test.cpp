// A Launcher that dies without its teardown (ended from the Task Manager, or a crash) takes its
// servers, and what they started, with it; one that ends normally leaves a web server still busy
// with its Ctrl+C to finish by itself.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"

namespace {

using OrphansE2e = e2e::StandInsTest;

}  // namespace

TEST_F(OrphansE2e, ALauncherEndedByForceTakesItsServersWithItUnlessNoTerminate) {
  for (bool noTerminate : {false, true}) {
    SCOPED_TRACE(noTerminate ? "NoTerminate" : "default");
    e2e::ServerStack stack;
    LauncherConfig config;
    config.noTerminate = noTerminate;
    ASSERT_NO_FATAL_FAILURE(
        stack.start(standIns, noTerminate ? L"-kept" : L"-ended", L"--grandchild 60000", L"", config));
    e2e::Process grandchild;
    ASSERT_TRUE(e2e::waitFor([&] { return e2e::markerNumber(stack.web.marker, L"grandchild") != 0; }, e2e::kTimeoutMs));
    ASSERT_TRUE(grandchild.attach(e2e::markerNumber(stack.web.marker, L"grandchild")));

    ASSERT_TRUE(TerminateProcess(stack.launcher.process.handle, 1));
    ASSERT_TRUE(stack.launcher.waitExit(e2e::kTimeoutMs, nullptr));
    if (noTerminate) {
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
  e2e::ServerStack stack;
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"--ctrlc-delay 2000", L""));
  stack.launcher.quitAndExpectZero();
  DWORD code = 0;
  ASSERT_TRUE(stack.web.process.waitExit(e2e::kTimeoutMs, &code));
  EXPECT_EQ(130u, code) << stack.web.events();
  EXPECT_TRUE(stack.web.has(L"exit=130")) << stack.web.events();
}
