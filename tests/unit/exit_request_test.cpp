// Exit with a running database when no timer can watch it: the wait must not be left without an
// end, so the database is terminated and the quit request posted at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/application.h"
#include "tests/support/e2e_support.h"

TEST(ExitRequest, WithoutAControlWindowTheDatabaseIsEndedAndTheQuitPostedAtOnce) {
  e2e::TempFolder markers(L"exit-unit");
  e2e::StandIn db(markers.file(L"db.txt"));
  Application app;
  ASSERT_TRUE(app.database.process.start(db.command(L"--ignore-ctrlc"), L"", true, nullptr, false));
  ASSERT_TRUE(db.waitFor(L"started"));
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
TEST(ExitRequest, ServersEndedByExitAreNotReported) {
  e2e::TempFolder markers(L"exit-unit");
  e2e::StandIn db(markers.file(L"db.txt"));
  Application app;
  ASSERT_TRUE(app.createLogWindow(GetModuleHandleW(nullptr)));
  ASSERT_TRUE(app.database.process.start(db.command(L"--ignore-ctrlc"), L"", true, nullptr, false));
  ASSERT_TRUE(db.waitFor(L"started"));
  app.database.state = ServerState::Running;
  app.database.startTick = GetTickCount();

  app.requestExit(false);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.database.process.process, e2e::kTimeoutMs));
  app.supervise();
  // What Exit says and nothing after it: no report of the end it caused.
  std::vector<e2e::JournalEntry> entries = e2e::readJournal(app.journalEdit);
  EXPECT_EQ(std::vector<std::wstring>{L"Остановка MySQL сервера..."}, e2e::entryTexts(entries));
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// A database that no Ctrl+C can reach is ended at once, and the Journal says why in red.
TEST(ExitRequest, ADatabaseThatCannotGetItsCtrlCIsEndedAndTheJournalSaysSo) {
  e2e::TempFolder markers(L"exit-unit");
  e2e::StandIn db(markers.file(L"db.txt"));
  Application app;
  ASSERT_TRUE(app.createLogWindow(GetModuleHandleW(nullptr)));
  ASSERT_TRUE(app.database.process.start(db.command(L"--free-console"), L"", true, nullptr, false));
  ASSERT_TRUE(db.waitFor(L"console-freed"));

  app.requestExit(false);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.database.process.process, e2e::kTimeoutMs));
  std::vector<e2e::JournalEntry> entries = e2e::readJournal(app.journalEdit);
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(L"Остановка MySQL сервера...", entries[0].text);
  EXPECT_EQ(L"ОШИБКА: Не удалось передать Ctrl+C MySQL серверу, он завершён принудительно.", entries[1].text);
  EXPECT_EQ(e2e::kRed, entries[1].colour);
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}
