#include "orchestration/supervision.h"

#include <gtest/gtest.h>

namespace {

TEST(Supervision, TickDifferencesSurviveTheWrapOfTheTickCount) {
  EXPECT_EQ(ticksSince(1500, 500), 1000u);
  EXPECT_EQ(ticksSince(1000, 0xFFFFFC18u), 2000u);  // started 1000 ms before the wrap
  EXPECT_EQ(ticksSince(7, 7), 0u);

  DWORD beforeWrap = 0xFFFFF000u;
  EXPECT_TRUE(withinEarlyExitWindow(beforeWrap + 4999, beforeWrap));
  EXPECT_FALSE(withinEarlyExitWindow(beforeWrap + 5000, beforeWrap));
  EXPECT_FALSE(withinEarlyExitWindow(beforeWrap + 6000, beforeWrap));

  EXPECT_FALSE(pastAllStartedDelay(beforeWrap + 3000, beforeWrap));
  EXPECT_TRUE(pastAllStartedDelay(beforeWrap + 3001, beforeWrap));
  EXPECT_FALSE(pastAllStartedDelay(beforeWrap + 100, beforeWrap));
}

TEST(Supervision, TrimRemovesOnlyTrailingLineBreaksAndSpaces) {
  EXPECT_EQ(trimConsoleOutput(L"line\r\n"), L"line");
  EXPECT_EQ(trimConsoleOutput(L"  a b \n\r \r\n"), L"  a b");
  EXPECT_EQ(trimConsoleOutput(L"tab\t\r\n"), L"tab\t");
  EXPECT_EQ(trimConsoleOutput(L" \r\n \n"), L"");
  EXPECT_EQ(trimConsoleOutput(L""), L"");
}

TEST(Supervision, WebServerExitReportLines) {
  std::vector<std::wstring> full = webServerExitReport(1, L"boot\r\nfailed\r\n");
  ASSERT_EQ(full.size(), 3u);
  EXPECT_EQ(full[0], L"ОШИБКА: Веб-сервер неожиданно закрылся!");
  EXPECT_EQ(full[1], L"Код завершения: 1");
  EXPECT_EQ(full[2], L"Вывод консоли:\r\nboot\r\nfailed");

  std::vector<std::wstring> quiet = webServerExitReport(0, L" \r\n");
  ASSERT_EQ(quiet.size(), 1u);
  EXPECT_EQ(quiet[0], L"ОШИБКА: Веб-сервер неожиданно закрылся!");

  std::vector<std::wstring> crashed = webServerExitReport(0xC0000005u, L"");
  ASSERT_EQ(crashed.size(), 2u);
  EXPECT_EQ(crashed[1], L"Код завершения: 3221225477");
}

}  // namespace
