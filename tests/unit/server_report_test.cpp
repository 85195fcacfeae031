#include "orchestration/server_stack.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "process/output_capture.h"
#include "tests/support/e2e_support.h"

namespace {

TEST(ServerReport, TrimRemovesOnlyTrailingLineBreaksAndSpaces) {
  EXPECT_EQ(trimConsoleOutput(L"line\r\n"), L"line");
  EXPECT_EQ(trimConsoleOutput(L"  a b \n\r \r\n"), L"  a b");
  EXPECT_EQ(trimConsoleOutput(L"tab\t\r\n"), L"tab\t");
  EXPECT_EQ(trimConsoleOutput(L" \r\n \n"), L"");
  EXPECT_EQ(trimConsoleOutput(L""), L"");
}

TEST(ServerReport, EarlyExitReportLines) {
  std::vector<std::wstring> full = earlyExitReport(kWebServerKind, 1, L"boot\r\n", L"failed\r\n", L"", L"");
  ASSERT_EQ(full.size(), 3u);
  EXPECT_EQ(full[0], L"ОШИБКА: Веб-сервер неожиданно закрылся!");
  EXPECT_EQ(full[1], L"Код завершения: 1");
  EXPECT_EQ(full[2], L"Вывод консоли:\r\nboot\r\nfailed");

  std::vector<std::wstring> quiet = earlyExitReport(kWebServerKind, 0, L" \r\n", L"\r\n", L"", L"");
  ASSERT_EQ(quiet.size(), 1u);
  EXPECT_EQ(quiet[0], L"ОШИБКА: Веб-сервер неожиданно закрылся!");

  // A crash's code is followed by its reason.
  std::vector<std::wstring> crashed = earlyExitReport(kWebServerKind, 0xC0000005u, L"", L"", L"", L"");
  ASSERT_EQ(crashed.size(), 3u);
  EXPECT_EQ(crashed[1], L"Код завершения: 3221225477");
  EXPECT_EQ(crashed[2].substr(0, 20), L"Причина: 0xC0000005 ");

  // The database's early report is its one line, whatever its code.
  std::vector<std::wstring> db = earlyExitReport(kDatabaseKind, 1, L"", L"", L"", L"");
  ASSERT_EQ(db.size(), 1u);
  EXPECT_EQ(db[0], L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл");
}

}  // namespace

namespace {

FILETIME fileTime(ULONGLONG value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

TEST(ServerReport, LifetimeComesFromTheProcessTimesOrElseTheTickCount) {
  const ULONGLONG created = 0x01DB00000FFFFFFFull;  // the low half about to carry into the high one
  EXPECT_EQ(lifetimeMs(fileTime(created), fileTime(created + 49990000)), 4999u);
  EXPECT_EQ(lifetimeMs(fileTime(created), fileTime(created + 50000000)), 5000u);
  EXPECT_EQ(lifetimeMs(fileTime(created), fileTime(created + 36000000000ull)), 3600000u);
  EXPECT_EQ(lifetimeMs(fileTime(created), fileTime(created - 1)), 0u);  // a clock set back

  // Without a process to ask, the tick count since the start, right across its wrap.
  EXPECT_EQ(endedProcessLifetimeMs(nullptr, 0xFFFFF000u, 0x00000388u), 5000u);
}

TEST(ServerReport, LifetimeOfARealProcessIsMeasuredFromItsOwnTimes) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring line = L"\"" + e2e::binPath(L"fake_server.exe") + L"\" --run 300";
  ASSERT_TRUE(
      CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info));
  ASSERT_EQ(WaitForSingleObject(info.hProcess, e2e::kTimeoutMs), WAIT_OBJECT_0);
  // Noticed "an hour" after a start tick that means nothing: the process's own times win.
  ULONGLONG lived = endedProcessLifetimeMs(info.hProcess, GetTickCount() - 3600000, GetTickCount());
  EXPECT_GE(lived, 300u);
  EXPECT_LT(lived, kEarlyExitWindowMs);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

TEST(ServerReport, UptimeHasHoursOfAtLeastTwoDigits) {
  EXPECT_EQ(uptimeText(0), L"00:00:00");
  EXPECT_EQ(uptimeText(5999), L"00:00:05");
  EXPECT_EQ(uptimeText(((1 * 60 + 2) * 60 + 3) * 1000ull), L"01:02:03");
  EXPECT_EQ(uptimeText(123ull * 3600 * 1000 + 59 * 60 * 1000 + 59 * 1000), L"123:59:59");
}

TEST(ServerReport, ReportShowsTheNewestOutputFromAWholeLineAndKeepsTheLast) {
  EXPECT_EQ(reportOutput(L"short\r\nlast", 100), L"short\r\nlast");
  // Cut: the note, then from the first whole line inside the newest characters.
  EXPECT_EQ(reportOutput(L"aaaa\r\nbbbb\r\ncccc\r\nlast", 12), std::wstring(kOutputCutNote) + L"cccc\r\nlast");
  // The newest characters start right at a line.
  EXPECT_EQ(reportOutput(L"aaaa\nbb\nlast", 7), std::wstring(kOutputCutNote) + L"bb\nlast");
  // A last line longer than the limit: its end is what stays.
  EXPECT_EQ(reportOutput(L"head\r\n0123456789", 4), std::wstring(kOutputCutNote) + L"6789");

  std::wstring big;
  for (int i = 0; i < 5000; ++i) big += L"line " + std::to_wstring(i) + L"\r\n";
  big += L"the last line";
  std::wstring shown = reportOutput(big);
  EXPECT_LE(shown.size(), kReportOutputChars + wcslen(kOutputCutNote));
  EXPECT_EQ(shown.compare(0, wcslen(kOutputCutNote), kOutputCutNote), 0);
  EXPECT_EQ(shown.substr(wcslen(kOutputCutNote), 5), L"line ");
  EXPECT_EQ(shown.substr(shown.size() - 13), L"the last line");
}

TEST(ServerReport, EachStreamKeepsItsOwnEndInTheReport) {
  const std::wstring note = kOutputCutNote;
  struct Case {
    const wchar_t* name;
    std::wstring out, err;
    std::wstring shown;
  };
  const Case cases[] = {
      {L"both fit", L"o1\r\n", L"e1\r\n", L"o1\r\ne1"},
      {L"blank standard error", L"o1\r\n", L" \r\n", L"o1"},
      {L"only standard error", L"", L"e1\r\n", L"e1"},
      {L"both large: each its newest half", L"0123456789", L"abcdefghij", note + L"56789\r\n" + note + L"fghij"},
      {L"small standard output: standard error takes the rest", L"ok", L"abcdefghijklmn",
       L"ok\r\n" + note + L"ghijklmn"},
      {L"small standard error: standard output takes the rest", L"0123456789abcd", L"e", note + L"56789abcde"},
      {L"lines stay whole per stream", L"aa\r\nbb\r\ncc", L"dd\r\nee\r\nff", note + L"cc\r\n" + note + L"ff"},
  };
  for (const Case& c : cases) EXPECT_EQ(reportStreams(c.out, c.err, 10), c.shown) << e2e::toUtf8(c.name);

  // With the real limit: 20 KiB on standard error does not crowd out a last word on standard output.
  std::wstring flood;
  while (flood.size() < 20480) flood += std::wstring(62, L'x') + L"\r\n";
  std::wstring shown = reportStreams(L"FATAL", flood + L"last");
  EXPECT_EQ(shown.compare(0, 7 + note.size(), L"FATAL\r\n" + note), 0);
  EXPECT_LE(shown.size(), kReportOutputChars + 2 + note.size());
  EXPECT_EQ(shown.substr(shown.size() - 4), L"last");
  // Both large: each keeps its newest kReportOutputChars / 2.
  std::wstring out(20000, L'o');
  std::wstring err(20000, L'e');
  EXPECT_EQ(reportStreams(out, err), note + std::wstring(8192, L'o') + L"\r\n" + note + std::wstring(8192, L'e'));
}

TEST(ServerReport, LateReportsGiveUptimeAndExitCodeOnlyWhenNotZero) {
  std::vector<std::wstring> web = stoppedReport(kWebServerKind, 42, 3723000, 3, L"bye\r\n", L"", L"", L"");
  ASSERT_EQ(web.size(), 3u);
  EXPECT_EQ(web[0], L"ОШИБКА: Веб-сервер остановился (PID: 42). Время работы: 01:02:03");
  EXPECT_EQ(web[1], L"Код завершения: 3");
  EXPECT_EQ(web[2], L"Вывод консоли:\r\nbye");
  EXPECT_EQ(stoppedReport(kWebServerKind, 42, 6000, 0, L"\r\n", L" ", L"", L"").size(), 1u);

  std::vector<std::wstring> db = stoppedReport(kDatabaseKind, 7, 6000, 0, L"", L"", L"", L"");
  ASSERT_EQ(db.size(), 1u);
  EXPECT_EQ(db[0], L"ОШИБКА: MySQL сервер остановился (PID: 7). Время работы: 00:00:06. Проверьте лог-файл");
  std::vector<std::wstring> crashed = stoppedReport(kDatabaseKind, 7, 6000, 0xC0000005u, L"", L"", L"", L"");
  ASSERT_EQ(crashed.size(), 3u);
  EXPECT_EQ(crashed[1], L"Код завершения: 3221225477");
  EXPECT_EQ(crashed[2].substr(0, 20), L"Причина: 0xC0000005 ");
}

}  // namespace
