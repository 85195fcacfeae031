// A Launcher that dies without its teardown (ended from the Task Manager, or a crash) takes its
// servers, and what they started, with it; one that ends normally leaves a web server still busy
// with its Ctrl+C to finish by itself.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"

namespace {

// One Launcher with both stand-ins, named after tag among the test's stand-ins.
struct Stack {
  e2e::Launcher launcher;
  e2e::StandIn web;
  e2e::StandIn db;

  void start(e2e::StandIns& standIns, const std::wstring& tag, const std::wstring& webArgs, bool noTerminate) {
    web.marker = standIns.marker(L"web" + tag);
    db.marker = standIns.marker(L"db" + tag);
    LauncherConfig config;
    config.webServer = standIns.command(L"web" + tag, webArgs);
    config.mysqlServer = standIns.command(L"db" + tag);
    config.noTerminate = noTerminate;
    ASSERT_TRUE(launcher.prepare(config));
    ASSERT_TRUE(launcher.start());
    ASSERT_TRUE(web.attach());
    ASSERT_TRUE(db.attach());
    ASSERT_TRUE(launcher.waitJournal(L"Подождите...", e2e::kTimeoutMs));
  }
};

struct OrphansE2e : ::testing::Test {
  e2e::StandIns standIns;
  void TearDown() override { standIns.endAll(); }
};

}  // namespace

TEST_F(OrphansE2e, ALauncherEndedByForceTakesItsServersWithItUnlessNoTerminate) {
  for (bool noTerminate : {false, true}) {
    SCOPED_TRACE(noTerminate ? "NoTerminate" : "default");
    Stack stack;
    ASSERT_NO_FATAL_FAILURE(
        stack.start(standIns, noTerminate ? L"-kept" : L"-ended", L"--grandchild 60000", noTerminate));
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
  Stack stack;
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"--ctrlc-delay 2000", false));
  stack.launcher.quitAndExpectZero();
  DWORD code = 0;
  ASSERT_TRUE(stack.web.process.waitExit(e2e::kTimeoutMs, &code));
  EXPECT_EQ(130u, code) << stack.web.events();
  EXPECT_TRUE(stack.web.has(L"exit=130")) << stack.web.events();
}
