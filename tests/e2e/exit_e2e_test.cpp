// Exit while the database takes its time to shut down: the real program keeps answering, keeps its
// tray icon, ends the database before it interrupts the web server, and still ends with 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/application.h"
#include "tests/support/e2e_support.h"
#include "ui/journal.h"

namespace {

constexpr wchar_t kStoppingLine[] = L"Остановка MySQL сервера...";

// The Launcher with stand-ins for both servers, up and running.
struct ServerPair {
  e2e::TempFolder markers{L"exit"};
  e2e::StandIn web{markers.file(L"web.txt")};
  e2e::StandIn db{markers.file(L"db.txt")};
  e2e::Launcher launcher;
  HWND control = nullptr;
  HWND log = nullptr;

  bool start(const std::wstring& webArgs, const std::wstring& dbArgs) {
    LauncherConfig config;
    config.webServer = web.command(webArgs);
    config.mysqlServer = db.command(dbArgs);
    if (!launcher.prepare(config) || !launcher.start() || !web.attach() || !db.attach()) return false;
    control = launcher.controlWindow();
    log = launcher.logWindow();
    return control && log && launcher.waitJournal(L"Подождите...", e2e::kTimeoutMs);
  }
  size_t stoppingLines() {
    size_t n = 0;
    for (const std::wstring& text : e2e::entryTexts(launcher.entries())) n += text == kStoppingLine ? 1 : 0;
    return n;
  }
  // Neither the web server had its interrupt while the database still ran.
  bool webServerWaitedForTheDatabase() const {
    bool interrupted = web.has(L"ctrlc") || web.has(L"ctrlc-ignored");
    return !interrupted || !db.process.running();
  }
  bool exitsWithZero() {
    DWORD code = 99;
    return launcher.waitExit(e2e::kTimeoutMs, &code) && code == 0;
  }
};

struct Route {
  const char* name;
  void (*trigger)(ServerPair&);
  bool fromLogWindow;
};

const Route kRoutes[] = {
    {"tray menu Exit", [](ServerPair& s) { PostMessageW(s.control, WM_COMMAND, IDM_EXIT, 0); }, false},
    {"command 1002", [](ServerPair& s) { PostMessageW(s.control, WM_COMMAND, IDM_STOP_AND_EXIT, 0); }, false},
    {"the Journal's Exit button", [](ServerPair& s) { PostMessageW(s.log, WM_COMMAND, IDC_LOG_EXIT, 0); }, true},
    {"WM_CLOSE from another program", [](ServerPair& s) { PostMessageW(s.control, WM_CLOSE, 0, 0); }, false},
};

}  // namespace

TEST(ExitE2e, EveryRouteLetsTheDatabaseShutDownWhileTheProgramAnswers) {
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.name);
    ServerPair pair;
    // After its Ctrl+C the database closes its tables until the test has looked at the program
    // meanwhile and lets it go; then it ends with 130.
    std::wstring tablesClosed = pair.markers.file(L"tables-closed");
    ASSERT_TRUE(pair.start(L"", L"--ctrlc-until " + e2e::quoted(tablesClosed)));
    route.trigger(pair);
    ASSERT_TRUE(pair.db.waitFor(L"ctrlc")) << pair.db.events();

    ASSERT_TRUE(pair.launcher.waitJournal(kStoppingLine));
    std::vector<e2e::JournalEntry> entries = pair.launcher.entries();
    size_t stopping = e2e::indexOf(entries, kStoppingLine);
    ASSERT_NE(std::wstring::npos, stopping);
    EXPECT_EQ(e2e::kBlack, entries[stopping].colour);
    if (route.fromLogWindow) {
      size_t shutting = e2e::indexOf(entries, L"Завершение работы программы...");
      ASSERT_NE(std::wstring::npos, shutting);
      EXPECT_LT(shutting, stopping);
    }
    // Meanwhile the program is all there: it answers, its icon stays, the web server waits.
    EXPECT_TRUE(pair.launcher.process.running());
    EXPECT_TRUE(e2e::answersWithin(pair.log, 1000));
    EXPECT_TRUE(e2e::shellHasIcon(pair.control));
    EXPECT_TRUE(pair.webServerWaitedForTheDatabase()) << pair.web.events();
    EXPECT_TRUE(pair.db.process.running());

    ASSERT_TRUE(e2e::writeFile(tablesClosed, ""));
    EXPECT_TRUE(pair.exitsWithZero());
    ASSERT_TRUE(pair.db.process.waitExit(e2e::kTimeoutMs));
    ASSERT_TRUE(pair.web.process.waitExit(e2e::kTimeoutMs));
    EXPECT_TRUE(pair.db.has(L"exit=130")) << pair.db.events();
    EXPECT_TRUE(pair.web.has(L"ctrlc")) << pair.web.events();
    EXPECT_LE(pair.db.exitTime(), pair.web.exitTime());
  }
}

TEST(ExitE2e, DatabaseIgnoringCtrlCIsTerminatedAfterTheBoundAndTheWindowAnswersAllAlong) {
  ServerPair pair;
  ASSERT_TRUE(pair.start(L"", L"--ignore-ctrlc"));
  DWORD asked = GetTickCount();
  PostMessageW(pair.control, WM_COMMAND, IDM_EXIT, 0);
  ASSERT_TRUE(pair.db.waitFor(L"ctrlc-ignored")) << pair.db.events();

  int answers = 0;
  bool askedAgain = false;
  while (pair.db.process.running() && GetTickCount() - asked < kDatabaseStopTimeoutMs + e2e::kTimeoutMs) {
    DWORD before = GetTickCount();
    EXPECT_TRUE(e2e::answersWithin(pair.log, 1000)) << "after " << before - asked << " ms";
    ++answers;
    if (pair.db.process.running()) {
      EXPECT_TRUE(e2e::shellHasIcon(pair.control));
    }
    EXPECT_TRUE(pair.webServerWaitedForTheDatabase()) << pair.web.events();
    if (!askedAgain && GetTickCount() - asked > 2000) {
      // Asking again, by every route, changes nothing.
      askedAgain = true;
      for (const Route& route : kRoutes) route.trigger(pair);
    }
    Sleep(300);
  }
  DWORD stopped = GetTickCount() - asked;
  EXPECT_GE(answers, 5);
  EXPECT_TRUE(askedAgain);
  EXPECT_GE(stopped, kDatabaseStopTimeoutMs - 1000);

  EXPECT_TRUE(pair.exitsWithZero());
  DWORD dbCode = 99;
  ASSERT_TRUE(pair.db.process.waitExit(e2e::kTimeoutMs, &dbCode));
  EXPECT_EQ(0u, dbCode);
  ASSERT_TRUE(pair.web.process.waitExit(e2e::kTimeoutMs));
  EXPECT_LE(pair.db.exitTime(), pair.web.exitTime());
  // One Ctrl+C for the database, and only after it the web server's.
  std::vector<std::wstring> events = e2e::markerLines(pair.db.marker);
  EXPECT_EQ(1, std::count(events.begin(), events.end(), L"ctrlc-ignored")) << pair.db.events();
  EXPECT_TRUE(pair.web.has(L"ctrlc")) << pair.web.events();
}

TEST(ExitE2e, DatabaseThatCannotGetCtrlCIsTerminatedAtOnce) {
  ServerPair pair;
  ASSERT_TRUE(pair.start(L"", L"--free-console"));
  ASSERT_TRUE(pair.db.waitFor(L"console-freed")) << pair.db.events();
  DWORD asked = GetTickCount();
  PostMessageW(pair.control, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_TRUE(pair.exitsWithZero());
  EXPECT_LT(GetTickCount() - asked, kDatabaseStopTimeoutMs / 2);
  DWORD dbCode = 99;
  ASSERT_TRUE(pair.db.process.waitExit(e2e::kTimeoutMs, &dbCode));
  EXPECT_EQ(0u, dbCode);
  EXPECT_FALSE(pair.db.has(L"ctrlc"));
  EXPECT_FALSE(pair.db.has(L"ctrlc-ignored"));
  ASSERT_TRUE(pair.web.process.waitExit(e2e::kTimeoutMs));
  EXPECT_TRUE(pair.web.has(L"ctrlc")) << pair.web.events();
  EXPECT_LE(pair.db.exitTime(), pair.web.exitTime());
}

// A Launcher started by "start /b", or by a program that used CREATE_NEW_PROCESS_GROUP, inherits
// "ignore Ctrl+C" and would pass it on: then no server could ever hear its Ctrl+C. The database
// also runs on a console of its own that has no window.
TEST(ExitE2e, ServersHearTheirCtrlCEvenWhenTheLauncherWasStartedIgnoringIt) {
  ServerPair pair;
  ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, TRUE));
  bool started = pair.start(L"", L"");
  SetConsoleCtrlHandler(nullptr, FALSE);
  ASSERT_TRUE(started);
  EXPECT_EQ(L"0", e2e::markerValue(pair.db.marker, L"console")) << pair.db.events();
  EXPECT_EQ(L"1", e2e::markerValue(pair.db.marker, L"on-console")) << pair.db.events();

  PostMessageW(pair.control, WM_COMMAND, IDM_EXIT, 0);
  // It ends by itself on its Ctrl+C, long before the bound would have it terminated.
  DWORD dbCode = 0;
  ASSERT_TRUE(pair.db.process.waitExit(e2e::kTimeoutMs, &dbCode));
  EXPECT_EQ(130u, dbCode) << pair.db.events();
  EXPECT_TRUE(pair.exitsWithZero());
  DWORD webCode = 0;
  ASSERT_TRUE(pair.web.process.waitExit(e2e::kTimeoutMs, &webCode));
  EXPECT_EQ(130u, webCode) << pair.web.events();
}
