// The servers seen from outside: wendlor.exe runs fake_server.exe as web server and database and
// the tests read its Journal, the fixture's marker files, its windows and the URL recorder's log.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/control_window.h"
#include "app/start_page.h"
#include "orchestration/server_stack.h"
#include "process/child_process.h"
#include "process/output_capture.h"
#include "tests/support/e2e_support.h"
#include "ui/log_window.h"

namespace {

using e2e::indexOf;
using e2e::indexStarting;
using e2e::kTimeoutMs;
using e2e::plainLines;

struct ServersTest : e2e::LauncherTest {
  e2e::TempFolder& data = standIns.folder;
  std::wstring webMarker = standIns.marker(L"web");
  std::wstring dbMarker = standIns.marker(L"db");
  std::wstring urlLog = data.file(L"urls.txt");
  // Stand-ins given "--until" this file wait for the test to create it.
  std::wstring go = data.file(L"go");

  std::wstring web(const std::wstring& args) { return standIns.command(L"web", args); }
  std::wstring db(const std::wstring& args) { return standIns.command(L"db", args); }
  // Settings with this stand-in web server and nothing else changed.
  LauncherConfig withWebServer(const std::wstring& args) {
    LauncherConfig settings;
    settings.webServer = web(args);
    return settings;
  }

  bool launch(const std::wstring& ini, const std::wstring& currentFolder = L"") {
    return launcher.prepare(e2e::toUtf8(ini)) && launcher.start(currentFolder, {{L"WENDLOR_TEST_URL_LOG", urlLog}});
  }
  bool launch(const LauncherConfig& settings) {
    return launcher.prepare(settings) && launcher.start(L"", {{L"WENDLOR_TEST_URL_LOG", urlLog}});
  }
  bool launch(LauncherConfig settings, const std::wstring& databaseCommand) {
    settings.mysqlServer = databaseCommand;
    return launch(settings);
  }
  std::vector<e2e::JournalEntry> journal() { return launcher.entries(); }
  bool release() { return e2e::writeFile(go, ""); }
  // After two more ticks of the Launcher: the start page was opened exactly once.
  void expectStartPageOpenedOnce() {
    ASSERT_TRUE(e2e::waitFor([&] { return !urls().empty(); }, kTimeoutMs));
    ASSERT_TRUE(launcher.tick());
    ASSERT_TRUE(launcher.tick());
    EXPECT_EQ(e2e::countEntries(journal(), L"Запуск браузера..."), 1u) << e2e::toUtf8(launcher.journal());
    EXPECT_EQ(urls(), std::vector<std::wstring>{kStartPageUrl});
  }
  std::vector<std::wstring> urls() { return e2e::markerLines(urlLog); }
  // Whether the stand-in web server of a test that needs port 80 got it; why not otherwise (a
  // stand-in that never says is a failure).
  bool webServerListens(std::string* why) {
    std::wstring failed;
    bool said = e2e::waitFor(
        [&] {
          failed = e2e::markerValue(webMarker, L"listen-failed");
          return !failed.empty() || !e2e::markerValue(webMarker, L"listening").empty();
        },
        kTimeoutMs);
    if (!said) ADD_FAILURE() << "the stand-in web server never said whether it listens";
    if (failed.empty()) return said;
    *why = "port 80 cannot be bound here: " + e2e::toUtf8(failed);
    return false;
  }
  // Starts both servers with OpenBrowser on and waits for the all-started line.
  bool launchForStartPage(const std::wstring& webArgs, bool withDatabase = true) {
    LauncherConfig settings;
    settings.webServer = web(webArgs);
    if (withDatabase) settings.mysqlServer = db(L"");
    settings.openBrowser = true;
    if (!launch(settings)) return false;
    if (launcher.waitJournal(L"Все процессы успешно запущены. Окно журнала скрыто.", kTimeoutMs)) return true;
    ADD_FAILURE() << "never all started:\n"
                  << e2e::toUtf8(launcher.journal()) << e2e::readFile(webMarker) << e2e::readFile(dbMarker);
    return false;
  }
  // The line for a port that another program (listener) holds: Windows names it, Wine cannot.
  static void expectPortLine(const e2e::JournalEntry& entry, unsigned port, const e2e::Process& listener) {
    std::wstring prefix = L"Порт " + std::to_wstring(port) + L" занят другой программой";
    std::wstring named = prefix + L": fake_server.exe (PID: " + std::to_wstring(listener.pid) + L")";
    EXPECT_TRUE(entry.text == named || entry.text == prefix + L".") << e2e::toUtf8(entry.text);
    EXPECT_EQ(entry.colour, e2e::kRed);
  }
  // Whether port 80 is free and may be bound, for tests in which nothing must answer there.
  static bool port80IsFree(std::string* why) {
    e2e::PortListener probe;
    return probe.start(80, why);
  }
  // Starts the Launcher with settings and a web server that makes a window and then, whatever
  // its start-up info said, shows it when it should be hidden and hides it otherwise, so that
  // only the Launcher's start-up passes can set it right; that window.
  HWND launchWithWebServerWindow(bool startHidden) {
    LauncherConfig settings = withWebServer(startHidden ? L"--window Web --show" : L"--window Web --hide");
    settings.startHidden = startHidden;
    if (!launch(settings)) return nullptr;
    if (!e2e::waitMarker(webMarker, startHidden ? L"shown" : L"hidden", kTimeoutMs)) return nullptr;
    return e2e::findTopLevelWindow(e2e::markerNumber(webMarker, L"pid"), L"FakeServerWindow");
  }
};

TEST_F(ServersTest, BothServersStartInOrderInTheirFoldersFromAnyCurrentFolder) {
  std::wstring program = launcher.folder.path;
  ASSERT_TRUE(CreateDirectoryW((program + L"\\db").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((program + L"\\tools").c_str(), nullptr));
  ASSERT_TRUE(
      CopyFileW(e2e::binPath(L"fake_server.exe").c_str(), (program + L"\\tools\\fake_server.exe").c_str(), FALSE));
  // A relative program name is found from the program folder, whatever folder we start it in.
  std::wstring webCommand = L"tools\\fake_server.exe --marker " + e2e::quoted(webMarker);
  std::wstring dbCommand = db(L"");
  ASSERT_TRUE(launch(L"[wendlor]\nwebserver=  " + webCommand + L"  \nmysqlserver=" + dbCommand +
                         L"\nmysqlserverdirectory=db\nworkingdirectory=" + data.path + L"\nopenbrowser=0\n",
                     data.path));

  ASSERT_TRUE(launcher.waitJournal(L"Все процессы успешно запущены. Окно журнала скрыто.", kTimeoutMs));
  ASSERT_TRUE(e2e::waitMarker(webMarker, L"started"));
  ASSERT_TRUE(e2e::waitMarker(dbMarker, L"started"));
  std::vector<e2e::JournalEntry> lines = journal();
  size_t dbStart = indexOf(lines, L"Запуск базы данных MySQL: " + dbCommand);
  size_t dbOk = indexOf(lines, L"База данных успешно запущена (PID: " + e2e::markerValue(dbMarker, L"pid") + L")");
  size_t webStart = indexOf(lines, L"Запуск веб-сервера: " + webCommand);
  size_t webOk = indexOf(lines, L"Веб-сервер успешно запущен (PID: " + e2e::markerValue(webMarker, L"pid") + L")");
  size_t wait = indexOf(lines, L"Подождите...");
  size_t all = indexOf(lines, L"Все процессы успешно запущены. Окно журнала скрыто.");
  ASSERT_NE(dbStart, std::wstring::npos) << e2e::toUtf8(launcher.journal());
  ASSERT_NE(all, std::wstring::npos);
  EXPECT_LT(dbStart, dbOk);
  EXPECT_LT(dbOk, webStart);
  EXPECT_LT(webStart, webOk);
  EXPECT_LT(webOk, wait);
  EXPECT_LT(wait, all);
  EXPECT_EQ(indexOf(lines, L"Запуск браузера..."), std::wstring::npos);

  // The database in its own folder under the program folder; the web server in the working directory.
  EXPECT_EQ(e2e::markerValue(dbMarker, L"cwd"), program + L"\\db");
  EXPECT_EQ(e2e::markerValue(webMarker, L"cwd"), data.path);
  EXPECT_EQ(e2e::markerValue(dbMarker, L"cmdline"), dbCommand);
  EXPECT_EQ(e2e::markerValue(webMarker, L"cmdline"), webCommand);
  EXPECT_EQ(e2e::markerValue(webMarker, L"stdout"), std::to_wstring(FILE_TYPE_PIPE));

  HWND log = launcher.logWindow();
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(log); }, kTimeoutMs));
  launcher.quitAndExpectZero();
  // The web server was stopped with Ctrl+C, which the Launcher itself lived through.
  EXPECT_TRUE(e2e::waitMarker(webMarker, L"ctrlc"));
  EXPECT_TRUE(urls().empty());
}

// The server lived 2.5 s but is first looked at 10 s after the start: early by its own lifetime.
TEST_F(ServersTest, EarlyExitOfTheWebServerGivesExactlyThreeRedReportLinesWhateverTheInterval) {
  LauncherConfig settings;
  settings.webServer = web(L"--stdout \"boot \\xE9\\r\\nfailed\\r\\n\" --run 2500 --exit-code 1");
  settings.checkIntervalMs = 10000;
  ASSERT_TRUE(launch(settings));
  ASSERT_TRUE(launcher.waitJournal(L"Вывод консоли:", kTimeoutMs));
  ASSERT_TRUE(launcher.tick());  // a tick after the report adds nothing to it
  std::vector<e2e::JournalEntry> lines = journal();
  size_t closed = indexOf(lines, L"ОШИБКА: Веб-сервер неожиданно закрылся!");
  ASSERT_NE(closed, std::wstring::npos);
  ASSERT_EQ(lines.size(), closed + 3);
  for (size_t i = closed; i < lines.size(); ++i) EXPECT_EQ(lines[i].colour, e2e::kRed) << i;
  EXPECT_EQ(lines[closed + 1].text, L"Код завершения: 1");
  EXPECT_EQ(lines[closed + 2].text, L"Вывод консоли:\n" + e2e::ansiText("boot \xE9") + L"\nfailed");
  // No database: never all started, and the report stays on screen.
  EXPECT_EQ(indexStarting(lines, L"Все процессы"), std::wstring::npos);
  HWND log = launcher.logWindow();
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(IsWindowVisible(log));
  launcher.quitAndExpectZero();
}

// Both servers outlive the all-started event and the early-exit window, then end: each is reported
// once, in red, and the hidden log window comes back.
TEST_F(ServersTest, LateDeathsOfBothServersAreReportedWithUptimeAndTheLogWindowComesBack) {
  // Each ends once the test lets it, and not before it has itself run past the early-exit window
  // (its clock starts after the Launcher's, so the Launcher sees at least as long a run).
  std::wstring lateEnd =
      L" --sleep " + std::to_wstring(kEarlyExitWindowMs + 100) + L" --until " + e2e::quoted(go) + L" --run 0";
  LauncherConfig settings;
  settings.webServer =
      web(L"--stdout \"serving\\r\\n\" --stderr \"[error] child died\\r\\n\"" + lateEnd + L" --exit-code 259");
  settings.mysqlServer = db(lateEnd);
  ASSERT_TRUE(launch(settings));
  ASSERT_TRUE(launcher.waitJournal(L"Все процессы успешно запущены. Окно журнала скрыто.", kTimeoutMs));
  HWND log = launcher.logWindow();
  ASSERT_NE(log, nullptr);
  ASSERT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(log); }, kTimeoutMs));
  ASSERT_TRUE(release());  // both end only now, after the all-started event

  ASSERT_TRUE(launcher.waitJournal(L"ОШИБКА: Веб-сервер остановился", kTimeoutMs))
      << e2e::toUtf8(launcher.journal()) << e2e::readFile(webMarker);
  ASSERT_TRUE(launcher.waitJournal(L"ОШИБКА: MySQL сервер остановился", kTimeoutMs))
      << e2e::toUtf8(launcher.journal()) << e2e::readFile(dbMarker);
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(log) != FALSE; }, kTimeoutMs));
  std::vector<e2e::JournalEntry> lines = journal();

  // hh:mm:ss, at least the early-exit window.
  std::wstring webPid = e2e::markerValue(webMarker, L"pid");
  std::wstring webHead = L"ОШИБКА: Веб-сервер остановился (PID: " + webPid + L"). Время работы: ";
  size_t web = indexStarting(lines, webHead);
  ASSERT_NE(web, std::wstring::npos) << e2e::toUtf8(launcher.journal());
  ASSERT_GT(lines.size(), web + 2);
  std::wstring uptime = lines[web].text.substr(webHead.size());
  ASSERT_EQ(uptime.size(), 8u) << e2e::toUtf8(uptime);
  EXPECT_EQ(uptime[2], L':');
  EXPECT_EQ(uptime[5], L':');
  EXPECT_GE(uptime, L"00:00:05");
  EXPECT_LT(uptime, L"01:00:00");
  // 259 reads as STILL_ACTIVE, but the process has ended all the same.
  EXPECT_EQ(lines[web + 1].text, L"Код завершения: 259");
  EXPECT_EQ(lines[web + 2].text, L"Вывод консоли:\nserving\n[error] child died");

  std::wstring dbPid = e2e::markerValue(dbMarker, L"pid");
  size_t db = indexStarting(lines, L"ОШИБКА: MySQL сервер остановился (PID: " + dbPid + L"). Время работы: 00:");
  ASSERT_NE(db, std::wstring::npos);
  const std::wstring tail = L". Проверьте лог-файл";
  EXPECT_EQ(lines[db].text.substr(lines[db].text.size() - tail.size()), tail);
  // Exit code 0: no code line after it.
  if (db + 1 < lines.size()) {
    EXPECT_NE(lines[db + 1].text.compare(0, 15, L"Код завершения:"), 0);
  }
  for (size_t i : {web, web + 1, web + 2, db}) EXPECT_EQ(lines[i].colour, e2e::kRed) << i;

  // Once per server, however many ticks come after.
  ASSERT_TRUE(launcher.tick());
  ASSERT_TRUE(launcher.tick());
  size_t reports = 0;
  for (const e2e::JournalEntry& entry : launcher.entries())
    reports += entry.text.find(L"остановился (PID") != std::wstring::npos;
  EXPECT_EQ(reports, 2u);
  EXPECT_EQ(indexStarting(lines, L"ОШИБКА: Веб-сервер неожиданно"), std::wstring::npos);
  launcher.quitAndExpectZero();
}

// Another program on the database's port when it dies: the line that names it follows the report.
TEST_F(ServersTest, ProgramHoldingTheDatabasePortIsNamedAfterItsReport) {
  e2e::PortListener other;
  std::string why;
  if (!other.start(3307, &why)) GTEST_SKIP() << why;
  LauncherConfig settings;
  settings.webServer = web(L"");
  settings.mysqlServer = db(L"--run 1000 -P 3307");
  ASSERT_TRUE(launch(settings));
  ASSERT_TRUE(launcher.waitJournal(L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл", kTimeoutMs));
  ASSERT_TRUE(launcher.waitJournal(L"Порт 3307 занят другой программой", kTimeoutMs));
  std::vector<e2e::JournalEntry> lines = journal();
  size_t report = indexOf(lines, L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл");
  ASSERT_NE(report, std::wstring::npos);
  ASSERT_GT(lines.size(), report + 1);
  expectPortLine(lines[report + 1], 3307, other.process);
  EXPECT_EQ(indexStarting(lines, L"Порт 80 "), std::wstring::npos);
  launcher.quitAndExpectZero();
}

TEST_F(ServersTest, ProgramHoldingPort80IsNamedAfterTheWebServerReport) {
  e2e::PortListener other;
  std::string why;
  if (!other.start(80, &why)) GTEST_SKIP() << why;
  ASSERT_TRUE(
      launch(withWebServer(L"--stderr \"(OS 10048) Only one usage of each socket address\" --run 800 --exit-code 1")));
  ASSERT_TRUE(launcher.waitJournal(L"Порт 80 занят другой программой", kTimeoutMs));
  std::vector<e2e::JournalEntry> lines = journal();
  size_t output = indexStarting(lines, L"Вывод консоли:");
  ASSERT_NE(output, std::wstring::npos);
  ASSERT_EQ(lines.size(), output + 2);
  expectPortLine(lines.back(), 80, other.process);
  launcher.quitAndExpectZero();
}

// The web server answers only after the all-started event: the browser waits for it.
TEST_F(ServersTest, StartPageOpensOnlyOncePort80Answers) {
  std::string why;
  if (!port80IsFree(&why) || !e2e::browserIsRecorded(&why)) GTEST_SKIP() << why;
  ASSERT_TRUE(launchForStartPage(L"--until " + e2e::quoted(go) + L" --listen 80"));
  ASSERT_TRUE(launcher.tick());
  EXPECT_EQ(indexOf(journal(), L"Запуск браузера..."), std::wstring::npos);
  EXPECT_TRUE(urls().empty());
  ASSERT_TRUE(release());
  if (!webServerListens(&why)) GTEST_SKIP() << why;
  ASSERT_TRUE(launcher.waitJournal(L"Запуск браузера...", kTimeoutMs));
  expectStartPageOpenedOnce();
  std::vector<e2e::JournalEntry> lines = journal();
  EXPECT_LT(indexOf(lines, L"Все процессы успешно запущены. Окно журнала скрыто."),
            indexOf(lines, L"Запуск браузера..."));
  // The log window stays hidden.
  EXPECT_FALSE(IsWindowVisible(launcher.logWindow()));
  launcher.quitAndExpectZero();
}

// With no database configured, the web server alone is the whole stack.
TEST_F(ServersTest, AWebServerAloneIsAWholeStackAndOpensTheStartPagePort80) {
  std::string why;
  if (!port80IsFree(&why) || !e2e::browserIsRecorded(&why)) GTEST_SKIP() << why;
  ASSERT_TRUE(launchForStartPage(L"--listen 80", false));
  if (!webServerListens(&why)) GTEST_SKIP() << why;
  expectStartPageOpenedOnce();
  // A page that answers at once opens while the start-up checks still run.
  std::vector<e2e::JournalEntry> lines = journal();
  size_t browser = indexOf(lines, L"Запуск браузера...");
  EXPECT_LT(indexOf(lines, L"Подождите..."), browser);
  EXPECT_LT(browser, indexOf(lines, L"Все процессы успешно запущены. Окно журнала скрыто."));
  HWND log = launcher.logWindow();
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(log); }, kTimeoutMs));
  launcher.quitAndExpectZero();
}

// A start page that fails with 500 is asked for again (the 404 that follows is the second answer);
// the red line comes after the all-started line, the Journal stays, and the page still opens.
TEST_F(ServersTest, AStartPageAnsweringAnErrorIsAskedAgainAndLeavesTheJournalOpen) {
  std::string why;
  if (!port80IsFree(&why) || !e2e::browserIsRecorded(&why)) GTEST_SKIP() << why;
  LauncherConfig settings = withWebServer(
      L"--http-status \"HTTP/1.1 500 Internal Server Error\" "
      L"--http-status \"HTTP/1.1 404 Not Found\" --listen 80");
  settings.openBrowser = true;
  ASSERT_TRUE(launch(settings));
  if (!webServerListens(&why)) GTEST_SKIP() << why;
  const std::wstring error = L"ОШИБКА: Стартовая страница ответила с ошибкой: HTTP/1.1 404 Not Found";
  ASSERT_TRUE(launcher.waitJournal(error, kTimeoutMs)) << e2e::toUtf8(launcher.journal());
  expectStartPageOpenedOnce();
  std::vector<e2e::JournalEntry> lines = journal();
  size_t all = indexOf(lines, L"Все процессы успешно запущены.");
  ASSERT_NE(all, std::wstring::npos) << e2e::toUtf8(launcher.journal());
  EXPECT_EQ(all + 1, indexOf(lines, error));
  EXPECT_EQ(lines[all + 1].colour, e2e::kRed);
  EXPECT_EQ(indexOf(lines, L"Все процессы успешно запущены. Окно журнала скрыто."), std::wstring::npos);
  EXPECT_TRUE(IsWindowVisible(launcher.logWindow()));
  launcher.quitAndExpectZero();
}

// Exit while the Launcher still waits for the start page to answer: it ends at once, well
// before the wait would have run out, and opens no browser.
TEST_F(ServersTest, ExitWhileTheStartPageIsWaitedForOpensNoBrowser) {
  std::string why;
  if (!port80IsFree(&why)) GTEST_SKIP() << why;
  // The wait begins before the all-started line.
  ASSERT_TRUE(launchForStartPage(L""));
  launcher.quitAndExpectZero(IDM_EXIT);
  EXPECT_TRUE(e2e::waitMarker(webMarker, L"ctrlc"));
  EXPECT_TRUE(e2e::markerHas(dbMarker, L"ctrlc"));
  EXPECT_TRUE(urls().empty());
}

TEST_F(ServersTest, QuietCleanExitGivesOnlyTheClosedLineAndAnEarlyDatabaseExitIsReportedWithItsLog) {
  // mysql\bin\mysqld.exe from the program folder, started in mysql: its base folder is mysql.
  std::wstring base = launcher.folder.file(L"mysql");
  for (const wchar_t* sub : {L"", L"\\bin", L"\\data"}) ASSERT_TRUE(CreateDirectoryW((base + sub).c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(e2e::binPath(L"fake_server.exe").c_str(), (base + L"\\bin\\mysqld.exe").c_str(), FALSE));
  LauncherConfig settings = withWebServer(L"--stdout \" \\r\\n\" --run 1000");
  settings.mysqlServerDirectory = L"mysql";
  ASSERT_TRUE(launch(settings, L"mysql\\bin\\mysqld --log-error=db --log-line " +
                                   e2e::quoted(base + L"\\data\\db.err") + L" Aborting --run 1000"));
  ASSERT_TRUE(launcher.waitJournal(L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл", kTimeoutMs));
  EXPECT_TRUE(launcher.waitJournal(L"Журнал ошибок MySQL (" + base + L"\\data\\db.err):\r\nAborting"));
  ASSERT_TRUE(launcher.waitJournal(L"ОШИБКА: Веб-сервер неожиданно закрылся!", kTimeoutMs));
  // Whatever else a report could bring is there after a later tick.
  ASSERT_TRUE(launcher.tick());
  std::vector<e2e::JournalEntry> lines = journal();
  EXPECT_EQ(indexStarting(lines, L"Код завершения"), std::wstring::npos);
  EXPECT_EQ(indexStarting(lines, L"Вывод консоли"), std::wstring::npos);
  EXPECT_EQ(indexStarting(lines, L"Все процессы"), std::wstring::npos);
  launcher.quitAndExpectZero();
}

TEST_F(ServersTest, MissingWebServerGivesTheFullFailureMessageThenStandby) {
  std::wstring program = launcher.folder.path;
  ASSERT_TRUE(CreateDirectoryW((program + L"\\htdocs").c_str(), nullptr));
  std::wstring command = e2e::quoted(data.file(L"no-such-server.exe")) + L" -k";
  LauncherConfig settings;
  settings.webServer = command;
  settings.webServerDirectory = L"htdocs";
  ASSERT_TRUE(launch(settings));
  ASSERT_TRUE(launcher.waitJournal(L"Подождите...", kTimeoutMs));
  std::vector<e2e::JournalEntry> lines = journal();
  // The whole message is checked where it is made; here, that it is the web server's and names
  // what was started where.
  size_t at = indexStarting(lines, L"ОШИБКА запуска веб-сервера: Ошибка запуска компонента программы (0x44): \n");
  ASSERT_NE(at, std::wstring::npos) << e2e::toUtf8(plainLines(launcher.journal()));
  EXPECT_NE(lines[at].text.find(L"\n\nКоманда:\n" + command + L"\n\nПапка запуска:\n" + program + L"\\htdocs\n\n"),
            std::wstring::npos)
      << e2e::toUtf8(lines[at].text);
  ASSERT_GT(lines.size(), at + 1);
  EXPECT_EQ(lines[at + 1].text,
            L"ОШИБКА: Не удалось запустить веб-сервер. Программа продолжит работу в режиме ожидания.");
  EXPECT_EQ(indexStarting(lines, L"Запуск базы данных"), std::wstring::npos);  // none configured
  EXPECT_TRUE(launcher.process.running());
  launcher.quitAndExpectZero();
}

TEST_F(ServersTest, FailedDatabaseAndMissingFolderDoNotStopTheWebServer) {
  std::wstring program = launcher.folder.path;
  std::wstring dbCommand = e2e::quoted(data.file(L"no-mysqld.exe"));
  ASSERT_TRUE(launch(withWebServer(L""), dbCommand));
  ASSERT_TRUE(launcher.waitJournal(L"Подождите...", kTimeoutMs));
  std::vector<e2e::JournalEntry> lines = journal();
  size_t failed = indexStarting(lines, L"ОШИБКА запуска MySQL: Ошибка запуска компонента программы (0x44): \n");
  ASSERT_NE(failed, std::wstring::npos);
  EXPECT_NE(lines[failed].text.find(L"Команда:\n" + dbCommand + L"\n\nПапка запуска:\n" + program + L"\n"),
            std::wstring::npos);
  EXPECT_NE(indexStarting(lines, L"Веб-сервер успешно запущен (PID: "), std::wstring::npos);
  EXPECT_TRUE(e2e::waitMarker(webMarker, L"started"));
  launcher.quitAndExpectZero();

  // A web server folder that does not exist is named in the failure.
  e2e::Launcher second;
  LauncherConfig gone = withWebServer(L"");
  gone.webServerDirectory = L"gone";
  ASSERT_TRUE(second.prepare(gone));
  ASSERT_TRUE(second.start());
  ASSERT_TRUE(second.waitJournal(L"ОШИБКА: Не удалось запустить веб-сервер.", kTimeoutMs));
  EXPECT_NE(plainLines(second.journal()).find(L"Папка запуска:\n" + second.folder.path + L"\\gone\n"),
            std::wstring::npos);
}

TEST_F(ServersTest, WebServerWindowIsHiddenByDefault) {
  HWND window = launchWithWebServerWindow(true);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(e2e::markerValue(webMarker, L"show"), L"0");
  // The server showed it on its own after its start: the start-up passes hide it again.
  ASSERT_TRUE(launcher.waitJournal(L"Подождите...", kTimeoutMs));
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(window); }, kTimeoutMs));
  launcher.quitAndExpectZero();
}

TEST_F(ServersTest, WebServerWindowIsShownWhenNotStartedHidden) {
  HWND window = launchWithWebServerWindow(false);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(e2e::markerValue(webMarker, L"show"), std::to_wstring(SW_SHOWDEFAULT));
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(window) != FALSE; }, kTimeoutMs));
  launcher.quitAndExpectZero();
}

// A server that floods standard error and then says on standard output why it dies: both ends
// are in the report, standard output first.
TEST_F(ServersTest, FloodedStandardErrorLeavesTheEndOfStandardOutputInTheReport) {
  ASSERT_TRUE(launch(withWebServer(L"--flood-stderr 20480 --stdout FATAL --run 1500 --exit-code 1")));
  ASSERT_TRUE(launcher.waitJournal(L"Вывод консоли:", kTimeoutMs)) << e2e::readFile(webMarker);
  std::vector<e2e::JournalEntry> lines = journal();
  size_t output = indexStarting(lines, L"Вывод консоли:");
  ASSERT_NE(output, std::wstring::npos);
  const std::wstring& text = lines[output].text;
  std::wstring head = L"Вывод консоли:\nFATAL\n" + plainLines(kOutputCutNote) + std::wstring(62, L'x') + L"\n";
  EXPECT_EQ(text.compare(0, head.size(), head), 0) << e2e::toUtf8(text.substr(0, 120));
  EXPECT_LE(text.size(), head.size() + kReportOutputChars);
  EXPECT_EQ(text.substr(text.size() - 63), L"\n" + std::wstring(62, L'x'));
  launcher.quitAndExpectZero();
}

// UTF-8 on standard output (one character split across two writes), ANSI on standard error.
TEST_F(ServersTest, EachStreamIsDecodedInTheCodePageItWasWrittenIn) {
  ASSERT_TRUE(
      launch(withWebServer(L"--stdout \"\\xD0\" --sleep 300 --stdout \"\\x9F\\xD0\\xBE\\xD1\\x80\\xD1\\x82 "
                           L"\\xD0\\xB7\\xD0\\xB0\\xD0\\xBD\\xD1\\x8F\\xD1\\x82\\r\\n\" --stderr \"bind failed \\xC4\" "
                           L"--run 1500 --exit-code 1")));
  ASSERT_TRUE(launcher.waitJournal(L"Вывод консоли:", kTimeoutMs)) << e2e::readFile(webMarker);
  std::vector<e2e::JournalEntry> lines = journal();
  size_t output = indexStarting(lines, L"Вывод консоли:");
  ASSERT_NE(output, std::wstring::npos);
  EXPECT_EQ(lines[output].text, L"Вывод консоли:\nПорт занят\n" + e2e::ansiText("bind failed \xC4"));
  launcher.quitAndExpectZero();
}

}  // namespace
