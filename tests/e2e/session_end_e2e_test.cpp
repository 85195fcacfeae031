// Logoff and shutdown: the session's end reaches the Launcher before the servers' consoles, and
// its answer returns only once the database has shut down on its Ctrl+C (or been ended at the
// bound) and the web server has had its Ctrl+C.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

constexpr wchar_t kSessionEndLine[] = L"Завершение сеанса Windows: остановка серверов...";

using SessionEndE2e = e2e::StandInPairTest;

}  // namespace

TEST_F(SessionEndE2e, ARestartUnderWayWhenTheSessionEndsStartsNothing) {
  ASSERT_NO_FATAL_FAILURE(startBoth(L"", L"--ctrlc-delay 1000"));
  PostMessageW(control, WM_COMMAND, IDM_RESTART_DATABASE, 0);
  ASSERT_TRUE(db.waitFor(L"ctrlc")) << db.events();
  ASSERT_TRUE(endSession());
  EXPECT_FALSE(db.running());
  // Posted after the database's end notice: once its box is up, that notice has been handled.
  PostMessageW(control, WM_COMMAND, IDM_ABOUT, 0);
  HWND about = launcher.messageBox(e2e::kTimeoutMs);
  ASSERT_NE(nullptr, about);
  EXPECT_EQ(1u, e2e::countEntries(launcher.entries(),
                                  L"Запуск базы данных MySQL: " + standIns.command(L"db", L"--ctrlc-delay 1000")));
  PostMessageW(about, WM_COMMAND, IDOK, 0);
  launcher.quitAndExpectZero();
}

TEST_F(SessionEndE2e, RestartManagersCloseEndsTheLauncherAsExitDoes) {
  ASSERT_NO_FATAL_FAILURE(startBoth(L"", L""));
  ASSERT_TRUE(endSession(ENDSESSION_CLOSEAPP));
  EXPECT_TRUE(exitsWithZero());
  ASSERT_TRUE(db.waitEnd());
  ASSERT_TRUE(web.waitEnd());
  EXPECT_TRUE(db.has(L"exit=130")) << db.events();
  EXPECT_TRUE(web.has(L"exit=130")) << web.events();
}

TEST_F(SessionEndE2e, ADatabaseThatIgnoresItsCtrlCIsEndedAtTheBoundAndTheJournalSaysSo) {
  ASSERT_NO_FATAL_FAILURE(startBoth(L"", L"--ignore-ctrlc"));
  ASSERT_TRUE(endSession());
  DWORD dbCode = 99;
  ASSERT_TRUE(db.process.waitExit(0, &dbCode)) << db.events();
  EXPECT_EQ(0u, dbCode);
  EXPECT_TRUE(db.has(L"ctrlc-ignored")) << db.events();
  EXPECT_TRUE(web.has(L"ctrlc")) << web.events();

  std::vector<e2e::JournalEntry> entries = launcher.entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(L"ОШИБКА: MySQL сервер не остановился за 10 секунд и был завершён принудительно.", entries.back().text);
  EXPECT_EQ(e2e::kRed, entries.back().colour);
  launcher.quitAndExpectZero();
}

TEST_F(SessionEndE2e, WithNoTerminateTheServersOutliveTheSession) {
  LauncherConfig config;
  config.noTerminate = true;
  ASSERT_NO_FATAL_FAILURE(startBoth(L"", L"", config));
  ASSERT_TRUE(endSession());
  EXPECT_TRUE(db.running());
  EXPECT_TRUE(web.running());
  EXPECT_FALSE(db.has(L"ctrlc"));
  EXPECT_EQ(std::wstring::npos, launcher.journal().find(kSessionEndLine));
  launcher.quitAndExpectZero();
}
