// Every way the real program ends, with stand-ins for the web server and the database: it keeps
// answering and keeps its tray icon while the database shuts down, ends the database before it
// interrupts the web server, and ends with 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "orchestration/server_stack.h"
#include "tests/support/e2e_support.h"
#include "ui/log_window.h"

namespace {

using e2e::kTimeoutMs;
constexpr wchar_t kStoppingLine[] = L"Остановка MySQL сервера...";

struct Route {
  const char* name;
  void (*trigger)(e2e::StandInStack&);
  bool fromLogWindow;
};

const Route kRoutes[] = {
    {"tray menu Exit", [](e2e::StandInStack& s) { PostMessageW(s.control, WM_COMMAND, IDM_EXIT, 0); }, false},
    {"command 1002", [](e2e::StandInStack& s) { PostMessageW(s.control, WM_COMMAND, IDM_STOP_AND_EXIT, 0); }, false},
    {"the Journal's Exit button", [](e2e::StandInStack& s) { PostMessageW(s.log, WM_COMMAND, IDC_LOG_EXIT, 0); }, true},
    {"WM_CLOSE from another program", [](e2e::StandInStack& s) { PostMessageW(s.control, WM_CLOSE, 0, 0); }, false},
};

// Neither had the web server its interrupt while the database still ran.
bool webServerWaitedForTheDatabase(const e2e::StandInStack& s) {
  bool interrupted = s.web.has(L"ctrlc") || s.web.has(L"ctrlc-ignored");
  return !interrupted || !s.db.running();
}

using ExitE2e = e2e::StandInsTest;

}  // namespace

TEST_F(ExitE2e, EveryRouteLetsTheDatabaseShutDownWhileTheProgramAnswers) {
  int tag = 0;
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.name);
    e2e::StandInStack stack;
    // After its Ctrl+C the database closes its tables until the test has looked at the program
    // meanwhile and lets it go; then it ends with 130.
    std::wstring tablesClosed = standIns.folder.file(L"tables-closed" + std::to_wstring(++tag));
    ASSERT_NO_FATAL_FAILURE(
        stack.start(standIns, std::to_wstring(tag), L"", L"--ctrlc-until " + e2e::quoted(tablesClosed)));
    route.trigger(stack);
    ASSERT_TRUE(stack.db.waitFor(L"ctrlc")) << stack.db.events();

    ASSERT_TRUE(stack.launcher.waitJournal(kStoppingLine));
    std::vector<e2e::JournalEntry> entries = stack.launcher.entries();
    size_t stopping = e2e::indexOf(entries, kStoppingLine);
    ASSERT_NE(std::wstring::npos, stopping);
    EXPECT_EQ(e2e::kBlack, entries[stopping].colour);
    if (route.fromLogWindow) {
      size_t shutting = e2e::indexOf(entries, L"Завершение работы программы...");
      ASSERT_NE(std::wstring::npos, shutting);
      EXPECT_LT(shutting, stopping);
    }
    // Meanwhile the program is all there: it answers, its icon stays, the web server waits.
    EXPECT_TRUE(stack.launcher.process.running());
    EXPECT_TRUE(e2e::answersWithin(stack.log, 1000));
    EXPECT_TRUE(e2e::shellHasIcon(stack.control));
    EXPECT_TRUE(webServerWaitedForTheDatabase(stack)) << stack.web.events();
    EXPECT_TRUE(stack.db.running());

    ASSERT_TRUE(e2e::writeFile(tablesClosed, ""));
    EXPECT_TRUE(stack.exitsWithZero());
    ASSERT_TRUE(stack.db.waitEnd());
    ASSERT_TRUE(stack.web.waitEnd());
    EXPECT_TRUE(stack.db.has(L"exit=130")) << stack.db.events();
    EXPECT_TRUE(stack.web.has(L"ctrlc")) << stack.web.events();
    EXPECT_LE(stack.db.exitTime(), stack.web.exitTime());
  }
}

TEST_F(ExitE2e, DatabaseIgnoringCtrlCIsTerminatedAfterTheBoundAndTheWindowAnswersAllAlong) {
  e2e::StandInStack stack;
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"", L"--ignore-ctrlc"));
  DWORD asked = GetTickCount();
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  ASSERT_TRUE(stack.db.waitFor(L"ctrlc-ignored")) << stack.db.events();

  int answers = 0;
  bool askedAgain = false;
  while (stack.db.running() && GetTickCount() - asked < kStopBoundMs + kTimeoutMs) {
    DWORD before = GetTickCount();
    EXPECT_TRUE(e2e::answersWithin(stack.log, 1000)) << "after " << before - asked << " ms";
    ++answers;
    if (stack.db.running()) {
      EXPECT_TRUE(e2e::shellHasIcon(stack.control));
    }
    EXPECT_TRUE(webServerWaitedForTheDatabase(stack)) << stack.web.events();
    if (!askedAgain && GetTickCount() - asked > 2000) {
      // Asking again, by every route, changes nothing.
      askedAgain = true;
      for (const Route& route : kRoutes) route.trigger(stack);
    }
    Sleep(300);
  }
  DWORD stopped = GetTickCount() - asked;
  EXPECT_GE(answers, 5);
  EXPECT_TRUE(askedAgain);
  EXPECT_GE(stopped, kStopBoundMs - 1000);

  EXPECT_TRUE(stack.exitsWithZero());
  ASSERT_TRUE(stack.db.waitEnd());
  EXPECT_EQ(0u, stack.db.exitCode());
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_LE(stack.db.exitTime(), stack.web.exitTime());
  // One Ctrl+C for the database, and only after it the web server's.
  std::vector<std::wstring> events = e2e::markerLines(stack.db.marker);
  EXPECT_EQ(1, std::count(events.begin(), events.end(), L"ctrlc-ignored")) << stack.db.events();
  EXPECT_TRUE(stack.web.has(L"ctrlc")) << stack.web.events();
}

TEST_F(ExitE2e, DatabaseThatCannotGetCtrlCIsTerminatedAtOnce) {
  e2e::StandInStack stack;
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"", L"--free-console"));
  ASSERT_TRUE(stack.db.waitFor(L"console-freed")) << stack.db.events();
  DWORD asked = GetTickCount();
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_TRUE(stack.exitsWithZero());
  EXPECT_LT(GetTickCount() - asked, kStopBoundMs / 2);
  ASSERT_TRUE(stack.db.waitEnd());
  EXPECT_EQ(0u, stack.db.exitCode());
  EXPECT_FALSE(stack.db.has(L"ctrlc"));
  EXPECT_FALSE(stack.db.has(L"ctrlc-ignored"));
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.web.has(L"ctrlc")) << stack.web.events();
  EXPECT_LE(stack.db.exitTime(), stack.web.exitTime());
}

// A Launcher started by "start /b", or by a program that used CREATE_NEW_PROCESS_GROUP, inherits
// "ignore Ctrl+C" and would pass it on: then no server could ever hear its Ctrl+C. The database
// runs on a console of its own that has no window, whatever StartHidden says.
TEST_F(ExitE2e, ServersHearTheirCtrlCEvenWhenTheLauncherWasStartedIgnoringIt) {
  for (bool startHidden : {true, false}) {
    SCOPED_TRACE(startHidden ? "StartHidden" : "shown");
    e2e::StandInStack stack;
    LauncherConfig config;
    config.startHidden = startHidden;
    ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, TRUE));
    stack.start(standIns, startHidden ? L"-hidden" : L"-shown", L"", L"", config);
    SetConsoleCtrlHandler(nullptr, FALSE);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(L"0", e2e::markerValue(stack.db.marker, L"console")) << stack.db.events();
    EXPECT_EQ(L"1", e2e::markerValue(stack.db.marker, L"on-console")) << stack.db.events();
    EXPECT_TRUE(e2e::topLevelWindows(stack.db.process.pid).empty());

    PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
    // It ends by itself on its Ctrl+C, long before the bound would have it terminated.
    ASSERT_TRUE(stack.db.waitEnd());
    EXPECT_EQ(130u, stack.db.exitCode()) << stack.db.events();
    EXPECT_TRUE(stack.exitsWithZero());
    ASSERT_TRUE(stack.web.waitEnd());
    EXPECT_EQ(130u, stack.web.exitCode()) << stack.web.events();
  }
}

TEST_F(ExitE2e, NoTerminateLeavesBothServersRunningWhateverTheRoute) {
  int tag = 0;
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.name);
    e2e::StandInStack stack;
    LauncherConfig config;
    config.noTerminate = true;
    ASSERT_NO_FATAL_FAILURE(stack.start(standIns, std::to_wstring(++tag), L"", L"", config));
    route.trigger(stack);
    EXPECT_TRUE(stack.exitsWithZero());
    EXPECT_TRUE(stack.db.running());
    EXPECT_TRUE(stack.web.running());
    EXPECT_FALSE(stack.db.has(L"ctrlc"));
    EXPECT_FALSE(stack.web.has(L"ctrlc"));
  }
}

TEST_F(ExitE2e, WebServerIgnoringCtrlCIsLeftRunningAndTheLauncherEndsAtOnce) {
  e2e::StandInStack stack;
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"--ignore-ctrlc", L""));
  DWORD posted = GetTickCount();
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_TRUE(stack.exitsWithZero());
  EXPECT_LT(GetTickCount() - posted, kStopBoundMs / 2);
  ASSERT_TRUE(stack.db.waitEnd());
  EXPECT_TRUE(stack.web.waitFor(L"ctrlc-ignored"));
  EXPECT_TRUE(stack.web.running());
}

TEST_F(ExitE2e, ServerThatAlreadyEndedIsNotInterrupted) {
  e2e::StandInStack stack;
  ASSERT_NO_FATAL_FAILURE(
      stack.start(standIns, L"", L"", L"--until " + e2e::quoted(standIns.folder.file(L"end")) + L" --run 0"));
  ASSERT_TRUE(e2e::writeFile(standIns.folder.file(L"end"), ""));
  ASSERT_TRUE(stack.db.waitEnd());
  PostMessageW(stack.control, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_TRUE(stack.exitsWithZero());
  EXPECT_FALSE(stack.db.has(L"ctrlc")) << stack.db.events();
  EXPECT_FALSE(stack.db.has(L"ctrlc-ignored"));
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.web.has(L"ctrlc"));
}

TEST_F(ExitE2e, CommandsPiledUpEndItOnceWithZero) {
  e2e::StandInStack stack;
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"", L""));
  PostMessageW(stack.control, WM_COMMAND, IDM_STOP_AND_EXIT, 0);
  PostMessageW(stack.control, WM_CLOSE, 0, 0);
  PostMessageW(stack.control, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 1), 0);
  PostMessageW(stack.log, WM_COMMAND, IDC_LOG_EXIT, 0);
  EXPECT_TRUE(stack.exitsWithZero());
  ASSERT_TRUE(stack.db.waitEnd());
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.db.has(L"exit=130"));
  EXPECT_TRUE(stack.web.has(L"exit=130"));
}
