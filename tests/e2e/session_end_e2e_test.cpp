// Logoff and shutdown: the session's end reaches the Launcher before the servers' consoles, and
// its answer returns only once the database has shut down on its Ctrl+C (or been ended at the
// bound) and the web server has had its Ctrl+C.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "tests/support/e2e_support.h"

namespace {

constexpr wchar_t kSessionEndLine[] = L"Завершение сеанса Windows: остановка серверов...";

struct SessionEndE2e : e2e::StandInPairTest {
  // What the system sends at logoff: the query, then the end. True when both were answered.
  bool endSession(LRESULT* queryAnswer) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(control, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 60000, &answer)) {
      return false;
    }
    *queryAnswer = static_cast<LRESULT>(answer);
    return SendMessageTimeoutW(control, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 60000, &answer) != 0;
  }
};

}  // namespace

TEST_F(SessionEndE2e, TheAnswerWaitsUntilTheDatabaseHasShutDownAndTheWebServerHadItsCtrlC) {
  ASSERT_NO_FATAL_FAILURE(startBoth(L"", L"--ctrlc-delay 1000"));
  LRESULT query = FALSE;
  ASSERT_TRUE(endSession(&query));
  EXPECT_EQ(TRUE, query);
  // By the time the answer came, everything had happened.
  EXPECT_TRUE(db.has(L"exit=130")) << db.events();
  EXPECT_FALSE(db.running());
  EXPECT_TRUE(web.has(L"ctrlc")) << web.events();

  std::vector<e2e::JournalEntry> entries = launcher.entries();
  size_t announced = e2e::indexOf(entries, kSessionEndLine);
  size_t stopping = e2e::indexOf(entries, L"Остановка MySQL сервера...");
  ASSERT_NE(std::wstring::npos, announced);
  ASSERT_NE(std::wstring::npos, stopping);
  EXPECT_LT(announced, stopping);
  EXPECT_EQ(e2e::kBlack, entries[announced].colour);
  for (const std::wstring& text : e2e::entryTexts(entries)) {
    EXPECT_EQ(std::wstring::npos, text.find(L"ОШИБКА")) << e2e::toUtf8(text);
  }
  launcher.quitAndExpectZero();
}

TEST_F(SessionEndE2e, ADatabaseThatIgnoresItsCtrlCIsEndedAtTheBoundAndTheJournalSaysSo) {
  ASSERT_NO_FATAL_FAILURE(startBoth(L"", L"--ignore-ctrlc"));
  LRESULT query = FALSE;
  ASSERT_TRUE(endSession(&query));
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
  LRESULT query = FALSE;
  ASSERT_TRUE(endSession(&query));
  EXPECT_EQ(TRUE, query);
  EXPECT_TRUE(db.running());
  EXPECT_TRUE(web.running());
  EXPECT_FALSE(db.has(L"ctrlc"));
  EXPECT_EQ(std::wstring::npos, launcher.journal().find(kSessionEndLine));
  launcher.quitAndExpectZero();
}
