// The server stack as a unit, with stand-ins as its servers: what each stop reason stops, what is
// started again, and what is reported, in which order.
#include "orchestration/server_stack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/e2e_support.h"
#include "tests/support/loopback_listener.h"

namespace {

constexpr UINT kEndMessage = WM_APP + 1;

std::vector<std::wstring> texts(const JournalLines& lines) {
  std::vector<std::wstring> result;
  for (const JournalLine& line : lines) result.push_back(line.text);
  return result;
}

void add(StackReport* all, const StackReport& report) {
  all->lines.insert(all->lines.end(), report.lines.begin(), report.lines.end());
  all->quit = all->quit || report.quit;
  all->attention = all->attention || report.attention;
  if (report.balloon) all->balloon = report.balloon;
  all->openStartPage = all->openStartPage || report.openStartPage;
  all->allStarted = all->allStarted || report.allStarted;
  all->journalStays = all->journalStays || report.journalStays;
  all->afterAllStarted.insert(all->afterAllStarted.end(), report.afterAllStarted.begin(), report.afterAllStarted.end());
}

struct StackTest : ::testing::Test {
  e2e::TempFolder folder{L"stack"};
  LauncherConfig config;
  ServerStack stack;
  // Where the end notices go, as they go to the control window.
  HWND notices = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);

  ~StackTest() override {
    stack.release();
    DestroyWindow(notices);
  }

  Server& webServer() { return *stack.find(kWebServerKind); }
  Server& database() { return *stack.find(kDatabaseKind); }

  // Both stand-ins started by the stack; without notices their ends are found by the ticks.
  StackReport startBoth(const e2e::StandIn& web, const std::wstring& webArgs, const e2e::StandIn& db,
                        const std::wstring& dbArgs, bool withNotices = true) {
    config.webServer = web.command(webArgs);
    config.mysqlServer = db.command(dbArgs);
    stack.configure(config, e2e::binDir(), kServerKinds, kServerKindCount);
    stack.noticeWindow = withNotices ? notices : nullptr;
    stack.endMessage = kEndMessage;
    stack.probeMessage = kEndMessage + 1;
    StackReport report = stack.startAll();
    EXPECT_TRUE(web.waitFor(L"started") && db.waitFor(L"started"));
    return report;
  }

  // Hands the end notices to the stack as the control window does, and ticks, until done holds.
  StackReport pumpUntil(const std::function<bool(const StackReport&)>& done) {
    StackReport all;
    e2e::waitFor(
        [&] {
          MSG message;
          while (PeekMessageW(&message, notices, kEndMessage, kEndMessage, PM_REMOVE)) {
            add(&all, stack.onEndNotice(message.wParam, message.lParam));
          }
          add(&all, stack.tick(GetTickCount()));
          return done(all);
        },
        e2e::kTimeoutMs);
    return all;
  }
};

}  // namespace

TEST_F(StackTest, TheDatabaseStartsFirstAndEachStartIsReported) {
  e2e::StandIn web(folder.file(L"web.txt")), db(folder.file(L"db.txt"));
  StackReport report = startBoth(web, L"", db, L"");
  ASSERT_EQ(4u, report.lines.size());
  EXPECT_EQ(L"Запуск базы данных MySQL: " + config.mysqlServer, report.lines[0].text);
  EXPECT_EQ(L"База данных успешно запущена (PID: " + std::to_wstring(database().process.pid) + L")",
            report.lines[1].text);
  EXPECT_TRUE(report.lines[1].isSuccess);
  EXPECT_EQ(L"Запуск веб-сервера: " + config.webServer, report.lines[2].text);
  EXPECT_EQ(StackPhase::Running, stack.phase);
}

// What each way to stop asks of each server, and what follows once the asked ones have ended.
TEST_F(StackTest, EachReasonStopsItsServersAndOnlyARestartStartsOneAgain) {
  const struct {
    const char* name;
    StopReason reason;
    bool webAsked;  // the web server hears of it before the stack is released
    bool quits;
  } cases[] = {
      {"restart", StopReason::Restart, false, false},
      {"exit", StopReason::Exit, false, true},
      {"stop and exit", StopReason::StopAndExit, true, true},
      {"session end", StopReason::SessionEnd, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring tag = e2e::fromUtf8(c.name);
    e2e::StandIn web(folder.file(L"web " + tag)), db(folder.file(L"db " + tag));
    startBoth(web, L"", db, L"--shutdown-event MySQLShutdown{pid}");
    StackReport report = stack.stop(c.reason, &database());
    // Asked again while it stops, nothing new happens.
    EXPECT_TRUE(stack.stop(c.reason, &database()).lines.empty());
    StackReport after = pumpUntil([&](const StackReport& all) {
      if (c.reason == StopReason::Restart)
        return database().restarts() == 1 && database().state == ServerState::Running;
      return !c.quits || report.quit || all.quit;
    });
    EXPECT_TRUE(db.has(L"shutdown-event"));
    std::vector<std::wstring> lines = texts(report.lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(c.reason == StopReason::Restart, lines[0] == L"Перезапуск MySQL сервера...");
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), L"Остановка MySQL сервера..."));
    EXPECT_EQ(c.quits, report.quit || after.quit);
    EXPECT_EQ(c.reason == StopReason::Restart ? 1u : 0u, database().restarts());
    if (c.webAsked) {
      EXPECT_TRUE(web.waitFor(L"ctrlc"));
    } else {
      EXPECT_FALSE(web.has(L"ctrlc"));
    }
    // Nothing of an end the Launcher caused is reported.
    for (const std::wstring& line : texts(after.lines)) {
      EXPECT_EQ(std::wstring::npos, line.find(L"ОШИБКА")) << e2e::toUtf8(line);
    }
    stack.release();
  }
}

// A restart under way when the session ends, or when Exit comes, is not completed.
TEST_F(StackTest, NothingStartsOnceTheLauncherGoes) {
  for (StopReason reason : {StopReason::SessionEnd, StopReason::Exit}) {
    std::wstring tag = std::to_wstring(static_cast<int>(reason));
    e2e::StandIn web(folder.file(L"web" + tag)), db(folder.file(L"db" + tag));
    startBoth(web, L"", db, L"--ctrlc-delay 300");
    stack.stop(StopReason::Restart, &database());
    stack.stop(reason);
    // Its end notice handled: Ended, or Running again had it been restarted.
    pumpUntil([&](const StackReport&) { return database().state != ServerState::Stopping; });
    EXPECT_TRUE(db.has(L"ctrlc"));
    EXPECT_EQ(ServerState::Ended, database().state);
    EXPECT_EQ(0u, database().restarts());
    EXPECT_TRUE(stack.stop(StopReason::Restart, &webServer()).lines.empty());
    stack.release();
  }
}

TEST_F(StackTest, ExitWithoutNoticesEndsTheDatabaseAndQuitsAtOnce) {
  e2e::StandIn web(folder.file(L"web.txt")), db(folder.file(L"db.txt"));
  startBoth(web, L"", db, L"--ignore-ctrlc", false);
  StackReport report = stack.stop(StopReason::Exit);
  EXPECT_TRUE(report.quit);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(database().process.process, e2e::kTimeoutMs));
  EXPECT_FALSE(stack.stop(StopReason::StopAndExit).quit);
}

// A database no request reaches is ended at once; one that outlives its bound is ended then. Each
// time the Journal says so in red, and its end is not reported as news.
TEST_F(StackTest, AForcedStopSaysWhy) {
  const struct {
    const char* name;
    const wchar_t* args;
    bool pastBound;
    const wchar_t* line;
  } cases[] = {
      {"unreachable", L"--free-console", false,
       L"ОШИБКА: Не удалось передать Ctrl+C MySQL серверу, он завершён принудительно."},
      {"bound", L"--ignore-ctrlc", true,
       L"ОШИБКА: MySQL сервер не остановился за 10 секунд и был завершён принудительно."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring tag = e2e::fromUtf8(c.name);
    e2e::StandIn web(folder.file(L"web " + tag)), db(folder.file(L"db " + tag));
    startBoth(web, L"", db, c.args);
    // The stand-in is there once it says so: freed of its console, or with its handler in place.
    ASSERT_TRUE(db.waitFor(c.pastBound ? L"started" : L"console-freed"));
    StackReport all = stack.stop(StopReason::Exit);
    if (c.pastBound) {
      ASSERT_TRUE(db.waitFor(L"ctrlc-ignored"));
      // As if the bound had passed since the request.
      database().stopTick -= kStopBoundMs;
    }
    add(&all, pumpUntil([](const StackReport& r) { return r.quit; }));
    EXPECT_TRUE(all.quit);
    std::vector<std::wstring> lines = texts(all.lines);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"Остановка MySQL сервера...", lines[0]);
    EXPECT_EQ(c.line, lines[1]);
    EXPECT_TRUE(all.lines[1].isError);
    stack.release();
  }
}

// An end of its own is news: the report, the Journal brought forward, and for a server that ran
// past the early window its kind's balloon.
TEST_F(StackTest, AnEndOfItsOwnIsReported) {
  e2e::StandIn web(folder.file(L"web.txt")), db(folder.file(L"db.txt"));
  std::wstring webEnd = folder.file(L"web-end"), dbEnd = folder.file(L"db-end");
  startBoth(web, L"--until " + e2e::quoted(webEnd) + L" --run 0", db, L"--until " + e2e::quoted(dbEnd) + L" --run 0");

  ASSERT_TRUE(e2e::writeFile(dbEnd, ""));
  StackReport early = pumpUntil([](const StackReport& r) { return r.attention; });
  ASSERT_FALSE(early.lines.empty());
  EXPECT_EQ(L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл", early.lines[0].text);
  EXPECT_EQ(nullptr, early.balloon);

  // The report counts from the process's own creation, so it must really have run that long.
  ASSERT_TRUE(e2e::waitFor([&] { return GetTickCount() - webServer().startTick > kEarlyExitWindowMs + 500; },
                           kEarlyExitWindowMs + e2e::kTimeoutMs, 100));
  ASSERT_TRUE(e2e::writeFile(webEnd, ""));
  StackReport late = pumpUntil([](const StackReport& r) { return r.attention; });
  ASSERT_FALSE(late.lines.empty());
  EXPECT_EQ(0u, late.lines[0].text.find(L"ОШИБКА: Веб-сервер остановился (PID: "));
  EXPECT_STREQ(L"Веб-сервер остановился. Подробности в журнале.", late.balloon);
}

TEST_F(StackTest, AStartPageThatNeverAnswersIsGivenUpWithItsBalloon) {
  e2e::StandIn web(folder.file(L"web.txt")), db(folder.file(L"db.txt"));
  startBoth(web, L"", db, L"");
  StackReport report;
  stack.beginStartPageWait(&report);
  ASSERT_TRUE(stack.startPageWaiting);
  // As if the whole wait and its attempt had passed.
  stack.startPageWaitTick -= kStartPageWaitMs;
  stack.startPageAttemptTick -= kStartPageWaitMs;
  stack.startPageProbe.attemptTick -= kStartPageWaitMs;
  report = stack.tick(GetTickCount());
  EXPECT_FALSE(stack.startPageWaiting);
  ASSERT_FALSE(report.lines.empty());
  EXPECT_EQ(L"ОШИБКА: Веб-сервер не отвечает на порту 80. Стартовая страница не открыта.", report.lines.back().text);
  EXPECT_TRUE(report.attention);
  EXPECT_STREQ(L"Веб-сервер не отвечает. Подробности в журнале.", report.balloon);
  EXPECT_FALSE(report.openStartPage);
}

// What the start page answers decides the red line after the all-started one, and whether it opens.
TEST_F(StackTest, TheStartPagesAnswerDecidesWhatFollowsTheAllStartedLine) {
  const struct {
    const wchar_t* answers;  // the web stand-in's, in turn; null: the port is taken, never answered
    bool opens;
    const wchar_t* line;
  } cases[] = {
      {L"\"HTTP/1.1 500 Internal Server Error\" --http-status \"HTTP/1.1 302 Found\"", true, nullptr},
      {L"\"HTTP/1.1 404 Not Found\"", true, L"ОШИБКА: Стартовая страница ответила с ошибкой: HTTP/1.1 404 Not Found"},
      {L"\"HTTP/1.1 500 Internal Server Error\" --http-status \"HTTP/1.1 503 Service Unavailable\"", true,
       L"ОШИБКА: Стартовая страница ответила с ошибкой: HTTP/1.1 503 Service Unavailable"},
      {L"SSH-2.0-OpenSSH", false, L"ОШИБКА: На порту 80 отвечает не веб-сервер: ответа HTTP нет."},
      {nullptr, true, L"ОШИБКА: Стартовая страница не ответила за 10 секунд."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line ? e2e::toUtf8(c.line) : "ok");
    e2e::LoopbackListener listener;
    ASSERT_NE(listener.port, 0);
    std::wstring port = std::to_wstring(listener.port);
    if (c.answers) listener.close();
    e2e::StandIn web(folder.file(L"web " + port)), db(folder.file(L"db " + port));
    startBoth(web, c.answers ? L"--http-status " + std::wstring(c.answers) + L" --listen " + port : L"", db, L"");
    ASSERT_TRUE(!c.answers || web.waitFor(L"listening=" + port));
    stack.startPagePort = listener.port;
    stack.allStartedReported = stack.allStartedPending = true;
    StackReport report;
    stack.beginStartPageWait(&report);
    e2e::waitFor(
        [&] {
          MSG message;
          while (PeekMessageW(&message, notices, kEndMessage + 1, kEndMessage + 1, PM_REMOVE))
            add(&report, stack.onProbeEvent(message.wParam, message.lParam));
          // As if half the wait passed between the answers 500–599, and the status line's time.
          if (!stack.startPageFailure.empty() && !stack.startPageProbe.inFlight()) {
            stack.startPageWaitTick -= kStartPageWaitMs / 2;
            stack.startPageAttemptTick -= kStartPageRetryMs;
          }
          if (!c.answers && stack.startPageProbe.connected()) stack.startPageProbe.requestTick -= kStartPageAnswerMs;
          add(&report, stack.tick(GetTickCount()));
          return !stack.startPageWaiting;
        },
        e2e::kTimeoutMs, 10);
    EXPECT_TRUE(report.allStarted);
    EXPECT_EQ(c.opens, report.openStartPage);
    EXPECT_EQ(c.line != nullptr, report.journalStays);
    ASSERT_EQ(c.line ? 1u : 0u, report.afterAllStarted.size());
    if (c.line) {
      EXPECT_EQ(c.line, report.afterAllStarted[0].text);
      EXPECT_TRUE(report.afterAllStarted[0].isError);
    }
    stack.release();
  }
}
