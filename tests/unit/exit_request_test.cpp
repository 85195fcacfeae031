// Exit with a running database when no timer can watch it: the wait must not be left without an
// end, so the database is terminated and the quit request posted at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "tests/support/e2e_support.h"

namespace {

// The Launcher's record, without a control window, and a stand-in as its database.
struct ExitRequest : ::testing::Test {
  e2e::TempFolder markers{L"exit-unit"};
  e2e::StandIn db{markers.file(L"db.txt")};
  Application app;
  // Starts the stand-in with args as the database and waits until it has recorded line.
  void startDatabase(const std::wstring& args, const std::wstring& line) {
    ASSERT_TRUE(app.database.process.start(db.command(args), L"", true, nullptr, false));
    ASSERT_TRUE(db.waitFor(line));
  }
};

}  // namespace

TEST_F(ExitRequest, WithoutAControlWindowTheDatabaseIsEndedAndTheQuitPostedAtOnce) {
  ASSERT_NO_FATAL_FAILURE(startDatabase(L"--ignore-ctrlc", L"started"));
  ASSERT_EQ(nullptr, app.controlWindow);

  app.requestExit(false);
  MSG quit;
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(0u, quit.wParam);
  // It ignores its Ctrl+C, so only the Launcher can have ended it. (Whether its handler saw the
  // Ctrl+C before the end is a race, and its exit code is not checked: under Wine it is now and
  // then 1 instead of the 0 given to TerminateProcess.)
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.database.process.process, e2e::kTimeoutMs));

  // Asked again, nothing new happens.
  app.requestExit(true);
  EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The database that Exit ends is the Launcher's own doing: later ticks report nothing of it.
TEST_F(ExitRequest, ServersEndedByExitAreNotReported) {
  ASSERT_TRUE(app.logWindow.create(GetModuleHandleW(nullptr), nullptr));
  ASSERT_NO_FATAL_FAILURE(startDatabase(L"--ignore-ctrlc", L"started"));
  app.database.state = ServerState::Running;
  app.database.startTick = GetTickCount();

  app.requestExit(false);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.database.process.process, e2e::kTimeoutMs));
  app.supervise();
  // What Exit says and nothing after it: no report of the end it caused.
  std::vector<e2e::JournalEntry> entries = e2e::readJournal(app.logWindow.edit);
  EXPECT_EQ(std::vector<std::wstring>{L"Остановка MySQL сервера..."}, e2e::entryTexts(entries));
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// A database that no Ctrl+C can reach is ended at once, and the Journal says why in red.
TEST_F(ExitRequest, ADatabaseThatCannotGetItsCtrlCIsEndedAndTheJournalSaysSo) {
  ASSERT_TRUE(app.logWindow.create(GetModuleHandleW(nullptr), nullptr));
  ASSERT_NO_FATAL_FAILURE(startDatabase(L"--free-console", L"console-freed"));

  app.requestExit(false);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.database.process.process, e2e::kTimeoutMs));
  std::vector<e2e::JournalEntry> entries = e2e::readJournal(app.logWindow.edit);
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(L"Остановка MySQL сервера...", entries[0].text);
  EXPECT_EQ(L"ОШИБКА: Не удалось передать Ctrl+C MySQL серверу, он завершён принудительно.", entries[1].text);
  EXPECT_EQ(e2e::kRed, entries[1].colour);
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}
