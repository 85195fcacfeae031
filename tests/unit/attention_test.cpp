// What the tray balloon tells the user when a server ends on its own and when the start page never
// answers: the Launcher's real icon in the shell, and the text the shell took for it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/application.h"
#include "tests/support/e2e_support.h"

namespace {

ULONGLONG fileTimeValue(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether process has run for longer than ms since its creation, the start its end report counts from.
bool ranLongerThan(HANDLE process, DWORD ms) {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
  GetSystemTimeAsFileTime(&now);
  return fileTimeValue(now) > fileTimeValue(created) + ms * 10000ull;
}

// The Launcher with its control window, its hidden log window and its icon in the shell.
struct AttentionTest : ::testing::Test {
  e2e::TempFolder folder{L"attention"};  // outlives the servers, which the Application ends
  Application app;

  void SetUp() override {
    app.instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(app.createControlWindow());
    ASSERT_TRUE(app.logWindow.create(app.instance, app.controlWindow));
    ASSERT_TRUE(app.addTrayIcon());
  }

  std::wstring endFile(const Server& server) const {
    return folder.file(server.texts == &kWebServerTexts ? L"web" : L"db");
  }

  // server runs a stand-in that ends once its end file appears.
  void start(Server& server) {
    e2e::StandIn standIn(endFile(server) + L".txt");
    JournalLines lines;
    ASSERT_TRUE(server.start(standIn.command(L"--until " + e2e::quoted(endFile(server)) + L" --run 0"), L"", true,
                             false, &lines));
    ASSERT_TRUE(standIn.waitFor(L"started"));
  }

  // Ends server's stand-in and lets the supervision tick find the end.
  void end(Server& server) {
    ASSERT_TRUE(e2e::writeFile(endFile(server), ""));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server.process.process, e2e::kTimeoutMs));
    app.supervise();
  }

  std::wstring lastEntry() { return e2e::readJournal(app.logWindow.edit).back().text; }
};

}  // namespace

TEST_F(AttentionTest, ALateEndShowsTheBalloonOfThatServer) {
  ASSERT_NO_FATAL_FAILURE(start(app.webServer));
  ASSERT_NO_FATAL_FAILURE(start(app.database));
  // The report counts from the processes' own creation, so they must really have run that long.
  ASSERT_TRUE(e2e::waitFor(
      [&] {
        return ranLongerThan(app.webServer.process.process, kEarlyExitWindowMs) &&
               ranLongerThan(app.database.process.process, kEarlyExitWindowMs);
      },
      kEarlyExitWindowMs + e2e::kTimeoutMs));

  ASSERT_NO_FATAL_FAILURE(end(app.webServer));
  EXPECT_EQ(0u, e2e::indexStarting(e2e::readJournal(app.logWindow.edit), L"ОШИБКА: Веб-сервер остановился (PID: "));
  EXPECT_TRUE(app.logWindow.visible);
  EXPECT_EQ(L"ZEM Wendlor", app.tray.balloonTitle);
  EXPECT_EQ(L"Веб-сервер остановился. Подробности в журнале.", app.tray.balloonText);

  ASSERT_NO_FATAL_FAILURE(end(app.database));
  EXPECT_EQ(L"MySQL сервер остановился. Подробности в журнале.", app.tray.balloonText);
}

TEST_F(AttentionTest, AnEarlyEndBringsTheLogWindowBackWithoutABalloon) {
  const struct {
    Server* server;
    const wchar_t* report;
  } cases[] = {{&app.webServer, L"ОШИБКА: Веб-сервер неожиданно закрылся!"},
               {&app.database, L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(e2e::toUtf8(c.report));
    app.showLogWindow(false);
    ASSERT_NO_FATAL_FAILURE(start(*c.server));
    ASSERT_NO_FATAL_FAILURE(end(*c.server));
    EXPECT_NE(std::wstring::npos, e2e::indexOf(e2e::readJournal(app.logWindow.edit), c.report));
    EXPECT_TRUE(app.logWindow.visible);
    EXPECT_EQ(L"", app.tray.balloonText);
  }
}

TEST_F(AttentionTest, AStartPageThatNeverAnswersShowsItsBalloonOnceTheWaitIsOver) {
  app.beginStartPageProbe();
  app.onStartPageProbeTimer();
  EXPECT_TRUE(app.startPageProbing);
  EXPECT_EQ(L"", app.tray.balloonText);

  // The wait is counted in ticks since the probe and its attempt began: as if both were that old.
  app.startPageProbeTick -= kStartPageWaitMs;
  app.startPageProbe.attemptTick -= kStartPageWaitMs;
  app.onStartPageProbeTimer();
  EXPECT_FALSE(app.startPageProbing);
  EXPECT_EQ(L"ОШИБКА: Веб-сервер не отвечает на порту 80. Стартовая страница не открыта.", lastEntry());
  EXPECT_TRUE(app.logWindow.visible);
  EXPECT_EQ(L"ZEM Wendlor", app.tray.balloonTitle);
  EXPECT_EQ(L"Веб-сервер не отвечает. Подробности в журнале.", app.tray.balloonText);
}
