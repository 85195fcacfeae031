// Restarting one server from the tray, or by command from another program: the server is stopped
// the way Exit stops it and started again as at start-up, the other server goes on, and the stop
// is never reported as an unexpected end.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/control_window.h"
#include "tests/support/e2e_support.h"

namespace {

struct RestartE2e : e2e::StandInPairTest {
  // With both running, it waits for the all-started line too, so that no later line of the start
  // comes between the lines of a restart.
  void startBoth(const std::wstring& webArgs, const std::wstring& dbArgs, bool bothStay = true) {
    ASSERT_NO_FATAL_FAILURE(StandInPairTest::startBoth(webArgs, dbArgs));
    if (bothStay) {
      ASSERT_TRUE(launcher.waitJournal(L"Все процессы успешно запущены.", e2e::kTimeoutMs));
    }
  }
  std::vector<std::wstring> texts() { return e2e::entryTexts(launcher.entries()); }
  // The entries from the first that starts with first on.
  std::vector<std::wstring> from(const std::wstring& first) {
    std::vector<std::wstring> all = texts();
    for (size_t i = 0; i < all.size(); ++i) {
      if (all[i].compare(0, first.size(), first) == 0) return std::vector<std::wstring>(all.begin() + i, all.end());
    }
    return {};
  }
  size_t count(const std::wstring& prefix) {
    size_t n = 0;
    for (const std::wstring& text : texts()) n += text.compare(0, prefix.size(), prefix) == 0;
    return n;
  }
  void expectNoUnexpectedEnd() {
    for (const std::wstring& text : texts()) {
      EXPECT_EQ(std::wstring::npos, text.find(L"неожиданно")) << e2e::toUtf8(text);
      EXPECT_EQ(std::wstring::npos, text.find(L"остановился (PID")) << e2e::toUtf8(text);
    }
  }
};

// The stand-in marker holds one "pid=" line per start of the server it names.
std::vector<std::wstring> pids(const std::wstring& marker) {
  std::vector<std::wstring> found;
  for (const std::wstring& line : e2e::markerLines(marker)) {
    if (line.compare(0, 4, L"pid=") == 0) found.push_back(line.substr(4));
  }
  return found;
}

}  // namespace

TEST_F(RestartE2e, EachServerRestartsByCommandWhileTheOtherGoesOn) {
  ASSERT_NO_FATAL_FAILURE(startBoth(L"", L""));
  DWORD dbPid = db.process.pid;

  PostMessageW(control, WM_COMMAND, IDM_RESTART_WEB_SERVER, 0);
  ASSERT_TRUE(e2e::waitFor([&] { return pids(web.marker).size() == 2; }, e2e::kTimeoutMs)) << web.events();
  ASSERT_TRUE(launcher.waitJournal(L"Веб-сервер успешно запущен (PID: " + pids(web.marker)[1] + L")"));
  std::vector<std::wstring> lines = from(L"Перезапуск веб-сервера...");
  ASSERT_EQ(3u, lines.size()) << e2e::toUtf8(launcher.journal());
  EXPECT_EQ(0u, lines[1].find(L"Запуск веб-сервера: "));
  EXPECT_TRUE(web.has(L"ctrlc")) << web.events();
  EXPECT_TRUE(e2e::isProcessAlive(dbPid));

  PostMessageW(control, WM_COMMAND, IDM_RESTART_DATABASE, 0);
  ASSERT_TRUE(e2e::waitFor([&] { return pids(db.marker).size() == 2; }, e2e::kTimeoutMs)) << db.events();
  ASSERT_TRUE(launcher.waitJournal(L"База данных успешно запущена (PID: " + pids(db.marker)[1] + L")"));
  lines = from(L"Перезапуск MySQL сервера...");
  ASSERT_EQ(4u, lines.size()) << e2e::toUtf8(launcher.journal());
  EXPECT_EQ(L"Остановка MySQL сервера...", lines[1]);
  EXPECT_EQ(0u, lines[2].find(L"Запуск базы данных MySQL: "));
  EXPECT_TRUE(db.has(L"exit=130")) << db.events();
  EXPECT_EQ(2u, pids(web.marker).size());  // the web server went on
  expectNoUnexpectedEnd();

  // Watched again from its new start: its end is reported.
  e2e::endProcess(static_cast<DWORD>(std::stoul(pids(db.marker)[1])));
  EXPECT_TRUE(launcher.waitJournal(L"ОШИБКА: MySQL сервер ", e2e::kTimeoutMs)) << e2e::toUtf8(launcher.journal());
  launcher.quitAndExpectZero();
}

TEST_F(RestartE2e, AServerThatHadDiedIsStartedAgainAndItsOwnWordsWereReported) {
  // Its error log named on its command line, as "--log-error=FILE" does for MySQL.
  std::wstring errorLog = standIns.folder.file(L"db.err");
  ASSERT_NO_FATAL_FAILURE(startBoth(L"",
                                    L"--log-error=" + e2e::quoted(errorLog) + L" --log-line " + e2e::quoted(errorLog) +
                                        L" \"[ERROR] Can't start server: Bind on TCP/IP port\" --stderr \"[ERROR] "
                                        L"InnoDB: cannot open ibdata1\\r\\n\" --run 500",
                                    false));
  ASSERT_TRUE(launcher.waitJournal(L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл", e2e::kTimeoutMs));
  // The database's own words, as the web server's are shown.
  ASSERT_TRUE(launcher.waitJournal(L"[ERROR] InnoDB: cannot open ibdata1")) << e2e::toUtf8(launcher.journal());
  std::vector<std::wstring> report = from(L"ОШИБКА: MySQL сервер неожиданно закрылся!");
  ASSERT_GE(report.size(), 2u);
  EXPECT_EQ(0u, report[1].find(L"Вывод консоли:")) << e2e::toUtf8(report[1]);
  // And what it wrote to its error log since its start.
  ASSERT_TRUE(launcher.waitJournal(L"Журнал ошибок MySQL (" + errorLog + L"):")) << e2e::toUtf8(launcher.journal());
  std::vector<std::wstring> logged = from(L"Журнал ошибок MySQL (");
  ASSERT_FALSE(logged.empty());
  EXPECT_NE(std::wstring::npos, logged[0].find(L"[ERROR] Can't start server: Bind on TCP/IP port"))
      << e2e::toUtf8(logged[0]);

  PostMessageW(control, WM_COMMAND, IDM_RESTART_DATABASE, 0);
  ASSERT_TRUE(e2e::waitFor([&] { return pids(db.marker).size() == 2; }, e2e::kTimeoutMs)) << db.events();
  EXPECT_TRUE(launcher.waitJournal(L"База данных успешно запущена (PID: " + pids(db.marker)[1] + L")"));
  EXPECT_EQ(0u, count(L"Перезапуск MySQL сервера..."));
  launcher.quitAndExpectZero();
}
