#include "process/child_process.h"

#include <winternl.h>
#include <gtest/gtest.h>

#include <vector>

#include "config/support_contacts.h"
#include "process/output_capture.h"
#include "tests/support/e2e_support.h"
#include "win/system_error.h"

namespace {

using e2e::fakeServer;
using e2e::markerHas;
using e2e::markerValue;
using e2e::waitMarker;

std::wstring currentFolder() {
  wchar_t folder[32768];
  DWORD length = GetCurrentDirectoryW(32768, folder);
  return std::wstring(folder, length);
}

DWORD WINAPI closeChild(void* child) {
  static_cast<ChildProcess*>(child)->close();
  return 0;
}

bool waitEnded(const ChildProcess& child, DWORD timeoutMs = 10000) {
  return child.process && WaitForSingleObject(child.process, timeoutMs) == WAIT_OBJECT_0;
}

// Handles this process holds, counted from the system's handle table (GetProcessHandleCount
// is a stub under Wine).
long ownHandleCount() {
  struct Entry {
    ULONG pid;
    UCHAR type;
    UCHAR flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    NTSTATUS status =
        query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return -1;
    break;
  }
  auto* table = reinterpret_cast<Table*>(buffer.data());
  long count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].pid == GetCurrentProcessId()) ++count;
  }
  return count;
}

// Children that record into markers, all ended after the test whatever its outcome.
struct ChildProcessTest : ::testing::Test {
  e2e::StandIns standIns;
  std::wstring marker = standIns.marker(L"child");
  std::wstring withMarker(const std::wstring& args) { return standIns.command(L"child", args); }
  void TearDown() override { standIns.endAll(); }
};
using ChildProcessCtrlC = ChildProcessTest;

TEST_F(ChildProcessTest, CapturedChildHasPipesNoConsoleAndTheGivenFolderAndCommandLine) {
  ChildProcess child;
  std::wstring command = withMarker(L"--run 0");
  ASSERT_TRUE(child.start({command, standIns.folder.path}, nullptr));
  EXPECT_NE(child.process, nullptr);
  EXPECT_NE(child.thread, nullptr);
  EXPECT_NE(child.pid, 0u);
  EXPECT_NE(child.stdoutRead, nullptr);
  EXPECT_NE(child.stderrRead, nullptr);
  ASSERT_TRUE(waitMarker(marker, L"exit=0"));
  EXPECT_EQ(markerValue(marker, L"pid"), std::to_wstring(child.pid));
  EXPECT_EQ(markerValue(marker, L"cwd"), standIns.folder.path);
  EXPECT_EQ(markerValue(marker, L"cmdline"), command);
  EXPECT_EQ(markerValue(marker, L"show"), L"0");
  EXPECT_EQ(markerValue(marker, L"console"), L"0");
  EXPECT_EQ(markerValue(marker, L"stdout"), std::to_wstring(FILE_TYPE_PIPE));
}

// A console of its own, so a Ctrl+C can reach it, but never a window, which Windows Terminal
// would open and the user could close; not even for a child that is not to be hidden.
TEST_F(ChildProcessTest, ShownChildIsOnAConsoleWithoutAWindowInOurFolderAndEndsOnCtrlC) {
  FreeConsole();
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L""), L"", false}, nullptr));
  ASSERT_TRUE(waitMarker(marker, L"started"));
  EXPECT_EQ(markerValue(marker, L"show"), std::to_wstring(SW_SHOWDEFAULT));
  EXPECT_EQ(markerValue(marker, L"console"), L"0");
  EXPECT_EQ(markerValue(marker, L"on-console"), L"1");
  // An empty folder: the child takes our current directory.
  EXPECT_EQ(markerValue(marker, L"cwd"), currentFolder());
  EXPECT_TRUE(child.sendCtrlC());
  ASSERT_TRUE(waitEnded(child));
  EXPECT_EQ(child.exitCode(), 130u);
}

TEST(ChildProcessFailure, MissingProgramOrFolderGivesTheSystemCodeAndNoProcess) {
  e2e::TempFolder temp{L"missing"};
  std::wstring missingProgram = e2e::quoted(temp.file(L"nothing-here.exe")) + L" -x";
  struct Row {
    std::wstring command;
    std::wstring folder;
    DWORD error;
  } rows[] = {
      {missingProgram, L"", ERROR_FILE_NOT_FOUND},
      {fakeServer(L"--run 0"), temp.file(L"no-such-folder"), ERROR_DIRECTORY},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(e2e::toUtf8(row.command + L" in " + row.folder));
    ChildProcess child;
    StartFailure failure;
    ASSERT_FALSE(child.start({row.command, row.folder}, &failure));
    EXPECT_EQ(failure.error, row.error);
    EXPECT_EQ(failure.step, StartStep::Process);
    EXPECT_EQ(child.process, nullptr);
    EXPECT_EQ(child.pid, 0u);
    EXPECT_EQ(child.readOutput(), L"");
    EXPECT_FALSE(child.start({row.command, row.folder}, nullptr));
  }
}

TEST(ChildProcessEmpty, AnswersWithoutAProcess) {
  ChildProcess child;
  EXPECT_FALSE(child.isRunning());
  EXPECT_EQ(child.exitCode(), STILL_ACTIVE);
  child.terminate(0);
  EXPECT_FALSE(child.sendCtrlC());
  child.close();
  child.close();
  EXPECT_EQ(child.pid, 0u);
  EXPECT_EQ(child.readOutput(), L"");
}

TEST_F(ChildProcessTest, ExitCodesAnd259AsAnEnd) {
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L"--run 0 --exit-code 7")}, nullptr));
  ASSERT_TRUE(waitEnded(child));
  EXPECT_FALSE(child.isRunning());
  EXPECT_EQ(child.exitCode(), 7u);

  // 259 reads as STILL_ACTIVE, yet the process has ended.
  ASSERT_TRUE(child.start({fakeServer(L"--run 0 --exit-code 259")}, nullptr));
  ASSERT_TRUE(waitEnded(child));
  EXPECT_FALSE(child.isRunning());
  EXPECT_EQ(child.exitCode(), 259u);
  EXPECT_FALSE(child.sendCtrlC());

  ASSERT_TRUE(child.start({standIns.command(L"endless")}, nullptr));
  EXPECT_TRUE(child.isRunning());
  EXPECT_EQ(child.exitCode(), STILL_ACTIVE);
  child.terminate(0);
  ASSERT_TRUE(waitEnded(child));
  EXPECT_FALSE(child.isRunning());
  EXPECT_EQ(child.exitCode(), 0u);
}

TEST_F(ChildProcessTest, StartAgainLeavesTheOldChildRunningAndEmptiesOutput) {
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L"--stdout first")}, nullptr));
  ASSERT_TRUE(e2e::waitFor([&] { return child.readOutput() == L"first"; }, 10000));
  DWORD oldPid = child.pid;
  ASSERT_TRUE(child.start({fakeServer(L"--run 0")}, nullptr));
  EXPECT_NE(child.pid, oldPid);
  EXPECT_TRUE(child.output.empty());
  EXPECT_TRUE(e2e::isProcessAlive(oldPid));  // TearDown ends it
}

TEST_F(ChildProcessTest, CloseKeepsOutputAndDoesNotStopTheChild) {
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L"--stdout kept")}, nullptr));
  ASSERT_TRUE(e2e::waitFor([&] { return child.readOutput() == L"kept"; }, 10000));
  DWORD pid = child.pid;
  child.close();
  EXPECT_FALSE(child.isRunning());
  EXPECT_EQ(child.pid, 0u);
  EXPECT_EQ(child.process, nullptr);
  EXPECT_EQ(child.stdoutRead, nullptr);
  EXPECT_EQ(child.output, L"kept");
  EXPECT_EQ(child.readOutput(), L"kept");
  EXPECT_TRUE(e2e::isProcessAlive(pid));  // TearDown ends it
}

TEST_F(ChildProcessTest, CtrlCEndsTheChildAndNotUs) {
  // This test program has a console of its own; sendCtrlC leaves it to reach the child's.
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L"")}, nullptr));
  ASSERT_TRUE(waitMarker(marker, L"started"));
  EXPECT_TRUE(child.sendCtrlC());
  ASSERT_TRUE(waitEnded(child));
  EXPECT_TRUE(markerHas(marker, L"ctrlc"));
  EXPECT_EQ(child.exitCode(), 130u);
  // Sending to an ended child, twice, sends nothing and harms nothing.
  EXPECT_FALSE(child.sendCtrlC());
  EXPECT_FALSE(child.sendCtrlC());
  EXPECT_NE(child.pid, 0u);
}

// Below the sender's own guard: reached only when that guard fails to swallow the event. Under
// Wine a process ended by Ctrl+C exits with 0, which would pass, so fail loudly instead.
BOOL WINAPI ctrlCNotSwallowed(DWORD) {
  TerminateProcess(GetCurrentProcess(), 3);
  return TRUE;
}

// sendCtrlC stays on the child's console until its own copy of the event has arrived and been
// swallowed, so the copy can never reach a handler below the guard, however often it sends.
TEST_F(ChildProcessCtrlC, SenderSwallowsTheCtrlCThatReachesItself) {
  if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1) GTEST_SKIP() << "needs a process of its own";
  FreeConsole();
  ASSERT_TRUE(SetConsoleCtrlHandler(ctrlCNotSwallowed, TRUE));
  for (const wchar_t* name : {L"a", L"b"}) {
    ChildProcess child;
    ASSERT_TRUE(child.start({standIns.command(name)}, nullptr));
    ASSERT_TRUE(waitMarker(standIns.marker(name), L"started"));
    EXPECT_TRUE(child.sendCtrlC());
    ASSERT_TRUE(waitEnded(child));
    EXPECT_TRUE(markerHas(standIns.marker(name), L"ctrlc"));
  }
  SetConsoleCtrlHandler(ctrlCNotSwallowed, FALSE);
}

TEST_F(ChildProcessTest, ChildThatIgnoresCtrlCKeepsRunning) {
  FreeConsole();
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L"--ignore-ctrlc")}, nullptr));
  ASSERT_TRUE(waitMarker(marker, L"started"));
  child.sendCtrlC();
  ASSERT_TRUE(waitMarker(marker, L"ctrlc-ignored"));
  EXPECT_TRUE(child.isRunning());
  child.terminate(0);
  EXPECT_TRUE(waitEnded(child));
}

// What the readers take from each pipe while the child runs comes back grouped by stream, standard
// output first whatever the order of writing, in the code page the system reports.
TEST_F(ChildProcessTest, BothStreamsOfARealChildComeBackStandardOutputFirst) {
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L"--stderr \"e1 \\xC4\\r\\n\" --stdout \"o1 \\xE9\\r\\n\" --sleep 200 "
                                      L"--stderr e2 --stdout \"o2 \\xFC\" --run 0 --exit-code 4"),
                           L""},
                          nullptr));
  ASSERT_TRUE(waitEnded(child));
  std::wstring expected = e2e::ansiText("o1 \xE9\r\no2 \xFC") + e2e::ansiText("e1 \xC4\r\ne2");
  EXPECT_EQ(child.readOutput(), expected);
  EXPECT_EQ(child.readOutput(), expected);  // nothing is read twice
  EXPECT_EQ(child.exitCode(), 4u);
}

TEST_F(ChildProcessTest, FloodingChildIsNeverBlockedAndItsNewestOutputIsKept) {
  ChildProcess child;
  ASSERT_TRUE(child.start(
      {withMarker(L"--flood 1048576 --stdout \"\\r\\nlast words\\r\\n\" --run 0 --exit-code 3"), L""}, nullptr));
  // Nobody calls readOutput while it writes: the readers alone keep the pipe moving.
  ASSERT_TRUE(waitMarker(marker, L"flooded", 10000));
  ASSERT_TRUE(waitEnded(child));
  std::wstring text = child.readOutput();
  EXPECT_EQ(text.compare(0, wcslen(kOutputCutNote), kOutputCutNote), 0);
  ASSERT_GE(text.size(), 14u);
  EXPECT_EQ(text.substr(text.size() - 14), L"\r\nlast words\r\n");
  EXPECT_GE(text.size(), kOutputKeepBytes);
  EXPECT_LE(text.size(), 2 * kOutputKeepBytes + 64);
  EXPECT_EQ(child.exitCode(), 3u);
}

TEST_F(ChildProcessTest, CloseDoesNotHangOnAPipeThatAGrandchildHolds) {
  ChildProcess child;
  ASSERT_TRUE(child.start({withMarker(L"--stdout hi --grandchild 60000 --run 0")}, nullptr));
  ASSERT_TRUE(waitEnded(child));
  ASSERT_TRUE(waitMarker(marker, L"exit=0"));
  DWORD grandchild = e2e::markerNumber(marker, L"grandchild");
  ASSERT_NE(grandchild, 0u);
  EXPECT_EQ(child.readOutput(), L"hi");

  // Close on another thread, so a hang fails this test instead of stopping the run.
  HANDLE closer = CreateThread(nullptr, 0, closeChild, &child, 0, nullptr);
  ASSERT_NE(closer, nullptr);
  EXPECT_EQ(WaitForSingleObject(closer, 10000), WAIT_OBJECT_0);
  CloseHandle(closer);
  EXPECT_TRUE(e2e::isProcessAlive(grandchild));  // TearDown ends it
}

TEST(ChildProcessCycles, TwentyStartsAndClosesLeaveNoHandlesBehind) {
  ChildProcess child;
  // One cycle first, so lazily made handles of the system are not counted as ours.
  ASSERT_TRUE(child.start({fakeServer(L"--run 0")}, nullptr));
  ASSERT_TRUE(waitEnded(child));
  child.close();
  long before = ownHandleCount();
  ASSERT_GT(before, 0);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(child.start({fakeServer(L"--stdout x --run 0")}, nullptr));
    ASSERT_TRUE(waitEnded(child));
    child.close();
  }
  // Readers end on their own once the pipes break; give them that moment.
  EXPECT_TRUE(e2e::waitFor([&] { return ownHandleCount() <= before; }, 10000, 50))
      << "before " << before << ", after " << ownHandleCount();
}

}  // namespace
