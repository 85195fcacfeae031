// The servers' job: closing it ends a server and what the server started, unless it was released
// first, as a normal end of the Launcher does.
#include "process/server_job.h"

#include <gtest/gtest.h>

#include "process/child_process.h"
#include "tests/support/e2e_support.h"

namespace {

struct ServerJobTest : ::testing::Test {
  e2e::StandIns standIns;
  void TearDown() override { standIns.endAll(); }
};

}  // namespace

TEST_F(ServerJobTest, ClosingTheJobEndsTheServerAndItsChildrenUnlessReleased) {
  for (bool released : {false, true}) {
    SCOPED_TRACE(released ? "released" : "not released");
    std::wstring name = released ? L"kept" : L"ended";
    ServerJob job;
    ASSERT_TRUE(job.create());
    ChildProcess server;
    ASSERT_TRUE(server.start({standIns.command(name, L"--grandchild 60000"), L"", true, &job}, nullptr));
    EXPECT_TRUE(server.inJob);
    ASSERT_TRUE(e2e::waitMarker(standIns.marker(name), L"started"));
    ASSERT_TRUE(e2e::waitFor([&] { return e2e::markerNumber(standIns.marker(name), L"grandchild") != 0; }, 10000));
    DWORD grandchild = e2e::markerNumber(standIns.marker(name), L"grandchild");

    if (released) job.release();
    job.close();
    if (released) {
      EXPECT_TRUE(server.isRunning());
      EXPECT_TRUE(e2e::isProcessAlive(grandchild));
    } else {
      EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server.process, e2e::kTimeoutMs));
      EXPECT_TRUE(e2e::waitFor([&] { return !e2e::isProcessAlive(grandchild); }, e2e::kTimeoutMs));
    }
  }
}

TEST(ServerJob, WithoutAJobAServerStartsAsUsual) {
  ServerJob none;
  ChildProcess server;
  ASSERT_TRUE(server.start({e2e::fakeServer(L"--run 0"), L"", true, &none}, nullptr));
  EXPECT_FALSE(server.inJob);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server.process, e2e::kTimeoutMs));
}
