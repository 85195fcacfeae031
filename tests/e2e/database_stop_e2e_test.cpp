// How the database is stopped, seen from outside: through its own shutdown event on every route,
// wherever in its tree the event was created, and as a whole tree when only force will do.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

using e2e::kTimeoutMs;

// Arguments of a stand-in that plays a monitor: it has no Ctrl+C handler and starts the real
// server, recording into marker, with serverArgs.
std::wstring monitorOf(const std::wstring& marker, const std::wstring& serverArgs) {
  return L"--no-ctrl-handler --child \"--marker \\\"" + marker + L"\\\" " + serverArgs + L"\"";
}

bool noErrorLine(const std::wstring& journal) {
  return journal.find(L"ОШИБКА") == std::wstring::npos;
}

// Lines of marker that start with prefix.
size_t markerCount(const std::wstring& marker, const std::wstring& prefix) {
  size_t n = 0;
  for (const std::wstring& each : e2e::markerLines(marker)) n += each.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
  return n;
}

using DatabaseStopE2e = e2e::StandInsTest;

}  // namespace

// The stand-in database ignores its Ctrl+C, as one without a handler cannot answer it cleanly: only
// its event stops it without force.
TEST_F(DatabaseStopE2e, EveryRouteStopsTheDatabaseThroughItsOwnEvent) {
  enum Route { Exit, Restart, SessionEnd };
  struct Row {
    Route route;
    const wchar_t* event;
    bool monitored;  // the event comes from the server its monitor started
  };
  const Row rows[] = {
      {Exit, L"MySQLShutdown{pid}", false},
      {Restart, L"mysqld{pid}_shutdown", true},
      {SessionEnd, L"MYSQLShutdown{pid}", false},
  };
  for (const Row& row : rows) {
    std::wstring tag = std::to_wstring(row.route);
    SCOPED_TRACE(e2e::toUtf8(row.event));
    e2e::StandInStack stack;
    std::wstring holder = row.monitored ? standIns.marker(L"server" + tag) : standIns.marker(L"db" + tag);
    std::wstring serverArgs = L"--ignore-ctrlc --shutdown-event " + std::wstring(row.event);
    std::wstring webArgs;
    if (row.route == SessionEnd) {
      // Asked at once, not one after the other: the database shuts down only once the web server
      // has had its Ctrl+C.
      std::wstring webAsked = standIns.folder.file(L"web-asked");
      webArgs = L"--on-ctrlc-touch " + e2e::quoted(webAsked);
      serverArgs += L" --ctrlc-until " + e2e::quoted(webAsked);
    }
    ASSERT_NO_FATAL_FAILURE(
        stack.start(standIns, tag, webArgs, row.monitored ? monitorOf(holder, serverArgs) : serverArgs));
    ASSERT_TRUE(e2e::waitFor([&] { return !e2e::markerValue(holder, L"event").empty(); }, kTimeoutMs));

    if (row.route == SessionEnd) {
      ASSERT_TRUE(stack.endSession());
      // The answer came once everything had happened.
      EXPECT_TRUE(e2e::markerHas(holder, L"shutdown-event"));
      EXPECT_FALSE(stack.db.running());
      EXPECT_TRUE(stack.web.has(L"ctrlc")) << stack.web.events();
      std::vector<e2e::JournalEntry> entries = stack.launcher.entries();
      size_t announced = e2e::indexOf(entries, L"Завершение сеанса Windows: остановка серверов...");
      ASSERT_NE(std::wstring::npos, announced);
      EXPECT_LT(announced, e2e::indexOf(entries, L"Остановка MySQL сервера..."));
    } else {
      PostMessageW(stack.control, WM_COMMAND, row.route == Exit ? IDM_STOP_AND_EXIT : IDM_RESTART_DATABASE, 0);
      ASSERT_TRUE(e2e::waitMarker(holder, L"shutdown-event", kTimeoutMs));
    }
    if (row.route == Restart) {
      // The monitor ended with its server, and was started again, up to its server's event.
      ASSERT_TRUE(e2e::waitFor([&] { return markerCount(holder, L"event=") == 2; }, kTimeoutMs));
      EXPECT_TRUE(e2e::markerHas(stack.db.marker, L"child-exit=0"));
    }
    EXPECT_FALSE(e2e::markerHas(holder, L"ctrlc-ignored")) << "a Ctrl+C was sent as well";
    if (row.route != Exit) {
      EXPECT_TRUE(noErrorLine(stack.launcher.journal())) << e2e::toUtf8(stack.launcher.journal());
      stack.launcher.quitAndExpectZero();
    } else {
      EXPECT_TRUE(stack.exitsWithZero());
    }
  }
}

// Restarted, as a restart then shows in the Journal what Exit's end would take away with the window.
TEST_F(DatabaseStopE2e, AMonitorWhoseServerIgnoresEverythingIsEndedAsATreeAtTheBound) {
  e2e::StandInStack stack;
  e2e::StandIn real(standIns.marker(L"server"));
  ASSERT_NO_FATAL_FAILURE(stack.start(standIns, L"", L"", monitorOf(real.marker, L"--ignore-ctrlc")));
  ASSERT_TRUE(real.attach());

  PostMessageW(stack.control, WM_COMMAND, IDM_RESTART_DATABASE, 0);
  // The monitor dies on its Ctrl+C at once; what the restart waits for is the server under it.
  ASSERT_TRUE(stack.db.waitEnd());
  ASSERT_TRUE(stack.launcher.waitJournal(
      L"ОШИБКА: MySQL сервер не остановился за 10 секунд и был завершён принудительно.", 2 * kTimeoutMs));
  EXPECT_TRUE(real.waitEnd());
  EXPECT_TRUE(e2e::waitFor([&] { return markerCount(stack.db.marker, L"started") == 2; }, kTimeoutMs));
  // The restarted monitor's server is in its marker before the test ends, so that the end of the
  // test ends it too: a server left running holds the test's output open.
  EXPECT_TRUE(e2e::waitFor([&] { return markerCount(real.marker, L"started") == 2; }, kTimeoutMs));
}
