#include "orchestration/server_stack.h"

#include "config/paths.h"
#include "orchestration/httpd_error_log.h"
#include "orchestration/mysql_error_log.h"
#include "orchestration/port_owner.h"
#include "win/text.h"
#include "win/window_visibility.h"

const ServerKind* const kServerKinds[] = {&kDatabaseKind, &kWebServerKind};
const size_t kServerKindCount = sizeof kServerKinds / sizeof kServerKinds[0];

namespace {

// A red line naming the program that listens on port, when one does.
void reportPortOwner(USHORT port, StackReport* report) {
  DWORD owner = 0;
  if (findTcpListener(port, &owner))
    report->lines.push_back({portTakenLine(port, processFileName(owner), owner), true});
}

WPARAM indexOf(const ServerStack& stack, const Server& server) {
  for (size_t i = 0; i < stack.servers.size(); ++i) {
    if (stack.servers[i].get() == &server) return i;
  }
  return stack.servers.size();
}

const LauncherConfig kDefaultSettings;

// The error log a server of kind started with command in folder writes, by its kind's rule;
// *noLog when it writes none to show (its errors go to its console, a program or syslog).
std::wstring findErrorLog(const ServerKind& kind, const std::wstring& command, const std::wstring& program,
                          const std::wstring& folder, bool* noLog) {
  switch (kind.errorLog) {
    case ErrorLogRule::Mysql:
      return FindMysqlErrorLog(command, program, folder, noLog);
    case ErrorLogRule::Httpd:
      return FindHttpdErrorLog(command, program, folder, noLog);
    case ErrorLogRule::None:
      break;
  }
  *noLog = true;
  return std::wstring();
}

const wchar_t* errorLogTitle(const ServerKind& kind) {
  return kind.errorLog == ErrorLogRule::Httpd ? L"Журнал ошибок веб-сервера" : L"Журнал ошибок MySQL";
}

}  // namespace

ServerStack::ServerStack() : config(&kDefaultSettings) {}

void ServerStack::configure(const LauncherConfig& settings, const std::wstring& folder, const ServerKind* const* kinds,
                            size_t count) {
  release();
  config = &settings;
  programFolder = folder;
  phase = StackPhase::Starting;
  exitReason = StopReason::Exit;
  windowsVisible = true;
  visibilityPasses = kVisibilityPasses;
  allStartedReported = allStartedPending = browserOpened = false;
  servers.clear();
  for (size_t i = 0; i < count; ++i) servers.push_back(std::make_unique<Server>(*kinds[i]));
}

Server* ServerStack::find(const ServerKind& kind) const {
  for (const auto& server : servers) {
    if (server->kind == &kind) return server.get();
  }
  return nullptr;
}

bool ServerStack::configured(const Server& server) const {
  return !server.kind->optional || !(config->*server.kind->command).empty();
}

bool ServerStack::serversToStop() const {
  if (config->noTerminate) return false;
  for (const auto& server : servers) {
    if (server->running()) return true;
  }
  return false;
}

bool ServerStack::exitMustWait() const {
  if (config->noTerminate) return false;
  for (const auto& server : servers) {
    if (server->kind->exitWaits && server->running()) return true;
  }
  return false;
}

bool ServerStack::needsFastTick() const {
  if (visibilityPasses < kVisibilityPasses || startPageWaiting) return true;
  if (phase == StackPhase::Quitting) return false;
  // The bound of a stop, and a shutdown event that may yet appear.
  for (const auto& server : servers) {
    if (server->state == ServerState::Stopping && !server->forced) return true;
  }
  return false;
}

std::wstring ServerStack::workingDirectory() const {
  return effectiveWorkingDirectory(*config, programFolder);
}

StackReport ServerStack::startAll() {
  StackReport report;
  for (const auto& server : servers) {
    if (configured(*server)) startServer(*server, &report);
  }
  phase = StackPhase::Running;
  return report;
}

void ServerStack::startServer(Server& server, StackReport* report) {
  const ServerKind& kind = *server.kind;
  std::wstring command = TrimWide(config->*kind.command);
  // Relative program names in the command line are found from the program folder.
  SetCurrentDirectoryW(programFolder.c_str());
  std::wstring folder = ResolveFolderSetting(config->*kind.folder, programFolder, workingDirectory());
  server.port = kind.port == PortRule::MysqlOptions ? mysqlPort(command) : kStartPagePort;
  // Noted before the start, so all that this run writes is new; the program as the start will
  // find it, which is from the program folder, not the server's.
  bool noLog = false;
  std::wstring errorLog;
  ErrorLogMark mark;
  if (kind.errorLog != ErrorLogRule::None) {
    errorLog = findErrorLog(kind, command, startedProgramPath(command, programFolder), folder, &noLog);
    mark = markErrorLog(errorLog);
  }
  bool hide = kind.ownsWindows ? config->startHidden : true;
  server.programPath = startedProgramPath(command, programFolder);
  if (!server.start(command, folder, hide, !config->noTerminate, &report->lines)) {
    if (kind.startFailedNote) report->lines.push_back({kind.startFailedNote, true});
    return;
  }
  // Without a wait the supervision tick looks for its end instead.
  server.watchEnd(noticeWindow, endMessage, indexOf(*this, server));
  if (kind.errorLog != ErrorLogRule::None) {
    // The system's word on what runs beats our guess. Marking its log only now still misses
    // nothing: the server opens its log well after its process is created.
    std::wstring image;
    if (server.process.imagePath(&image)) {
      bool noLogRunning = false;
      std::wstring running = findErrorLog(kind, command, image, folder, &noLogRunning);
      if (noLogRunning != noLog ||
          CompareStringOrdinal(running.c_str(), -1, errorLog.c_str(), -1, TRUE) != CSTR_EQUAL) {
        mark = markErrorLog(running);
        noLog = noLogRunning;
      }
    }
    server.showsErrorLog = !noLog;
    server.errorLog = mark;
  }
  if (kind.ownsWindows) {
    windowsVisible = !config->startHidden;
    HWND first = applyWindowVisibility(server.process.pid, windowsVisible);
    if (windowsVisible && first) SetForegroundWindow(first);
    // A server makes its windows over its first moments: they are hidden or shown again meanwhile.
    visibilityPasses = 0;
  }
}

// A restart stops the server the way Exit would and waits for its end in the message loop; its end
// then starts it again, unless the phase has moved on. Exit waits for the servers whose kind keeps
// data and then quits; the session's end stops them all at once and waits here.
StackReport ServerStack::stop(StopReason reason, Server* server) {
  StackReport report;
  switch (reason) {
    case StopReason::Restart:
      if (!server || phase != StackPhase::Running || server->state == ServerState::Stopping || !configured(*server)) {
        break;
      }
      if (!server->running()) {
        startServer(*server, &report);
        break;
      }
      report.lines.push_back({server->kind->restartingLine});
      if (server->kind->servesStartPage) {
        // A start page still waited for would be the old server's.
        endStartPageWait();
        allStartedPending = false;
      }
      beginStop(*server, &report);
      break;
    case StopReason::Exit:
    case StopReason::StopAndExit: {
      // No start page is to open from here on.
      endStartPageWait();
      // The servers were stopped as the session ended; only the quit is left.
      if (phase == StackPhase::SessionEnded) {
        phase = StackPhase::Quitting;
        report.quit = true;
        break;
      }
      if (exiting()) break;
      phase = StackPhase::Exiting;
      exitReason = reason;
      bool waiting = false;
      for (const auto& each : servers) {
        if (!each->kind->exitWaits || config->noTerminate || !each->running()) continue;
        // A restart's stop under way is taken over as it is: the phase says nothing follows it.
        if (each->state != ServerState::Stopping) beginStop(*each, &report);
        if (!noticeWindow) {
          // Nothing would tell of its end or bound the wait.
          each->terminateTree();
          each->state = ServerState::Ended;
        }
        waiting = waiting || each->state == ServerState::Stopping;
      }
      if (!waiting) finishExit(&report);
      break;
    }
    case StopReason::SessionEnd: {
      bool exitUnderWay = phase == StackPhase::Exiting;
      phase = StackPhase::SessionEnded;
      endStartPageWait();
      if (serversToStop()) {
        releaseJobs();
        report.lines.push_back({L"Завершение сеанса Windows: остановка серверов..."});
        stopForSessionEnd(&report);
      }
      if (exitUnderWay) {
        phase = StackPhase::Quitting;
        report.quit = true;
      }
      break;
    }
  }
  return report;
}

// A database that is only sent a Ctrl+C may have no handler for it and die as if it crashed: its
// own shutdown event is the clean way, and the Ctrl+C serves where the event does not open (a
// server still starting, or another database). The first line says the stop has begun.
void ServerStack::beginStop(Server& server, StackReport* report) {
  server.state = ServerState::Stopping;
  server.stopTick = GetTickCount();
  if (server.kind->stoppingLine) report->lines.push_back({server.kind->stoppingLine});
  // Nothing will make it shut down by itself, so waiting would only cost the user time.
  if (!server.askToStop() && server.running()) forceStop(server, server.kind->ctrlCNotDelivered, report);
}

void ServerStack::forceStop(Server& server, const std::wstring& line, StackReport* report) {
  server.terminateTree();
  server.forced = true;
  report->lines.push_back({line, true});
}

// The servers Exit waited for are gone. One interrupt and no wait for the others: one that ignores
// it gets a second one at the release and is then left running.
void ServerStack::finishExit(StackReport* report) {
  phase = StackPhase::Quitting;
  report->quit = true;
  if (exitReason != StopReason::StopAndExit || config->noTerminate) return;
  for (const auto& server : servers) {
    if (server->kind->exitWaits || !server->running()) continue;
    server->state = ServerState::Stopping;
    server->stopTick = GetTickCount();
    server->askToStop();
  }
}

// All are asked at once and waited for together; timers are not dispatched inside a sent message,
// so this waits on their processes, bounded as Exit is. The session ends when the handler returns.
void ServerStack::stopForSessionEnd(StackReport* report) {
  for (const auto& server : servers) {
    // A stop already under way (Exit, a restart) was asked already, and its time counts.
    if (server->running() && server->state != ServerState::Stopping) beginStop(*server, report);
  }
  std::vector<HANDLE> waits;
  for (;;) {
    DWORD now = GetTickCount();
    waits.clear();
    bool left = false;
    for (const auto& server : servers) {
      if (server->forced || !server->running()) continue;
      if (ticksSince(now, server->stopTick) >= kStopBoundMs) {
        forceStop(*server, stopBoundLine(*server->kind, kStopBoundMs), report);
        continue;
      }
      left = true;
      server->retryShutdownEvent();
      HANDLE member = server->process.isRunning() ? server->process.process : server->treeMember;
      if (member) waits.push_back(member);
    }
    if (!left) return;
    // Woken at once by an end; every tick to try a shutdown event again and to mind the bound.
    if (waits.empty()) {
      Sleep(kFastTickMs);
    } else {
      WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, kFastTickMs);
    }
  }
}

StackReport ServerStack::onEndNotice(WPARAM index, LPARAM startCount) {
  StackReport report;
  if (index >= servers.size()) return report;
  Server& server = *servers[index];
  // A notice about an earlier start, or a server already closed, is no news.
  if (!server.isCurrentStart(startCount) || !server.process.process) return report;
  // The process started has ended, but others of its tree run on (the real database under its
  // monitor, the web server's child): the server ends with the last of them.
  if (server.running()) {
    server.watchEnd(noticeWindow, endMessage, index);
    return report;
  }
  serverEnded(server, &report);
  return report;
}

void ServerStack::serverEnded(Server& server, StackReport* report) {
  // The wait has fired once and is done with; it is let go here, never in its own callback.
  server.unwatch();
  bool ours = server.state == ServerState::Stopping;
  if (server.state != ServerState::Running && !ours) return;
  if (phase == StackPhase::Exiting) {
    server.state = ServerState::Ended;
    for (const auto& each : servers) {
      if (each->kind->exitWaits && each->state == ServerState::Stopping) return;
    }
    finishExit(report);
    return;
  }
  // Stopped while the servers are looked after: that is a restart.
  if (ours && phase == StackPhase::Running) {
    server.state = ServerState::Ended;
    startServer(server, report);
    return;
  }
  // Ends we caused, and any end once the Launcher is going, are not reported.
  if (ours || exiting()) {
    server.state = ServerState::Ended;
    return;
  }
  if (server.kind->servesStartPage) {
    // A start page that might still open would promise a site that is gone.
    endStartPageWait();
    allStartedPending = false;
  }
  bool early = false;
  JournalLines lines = server.endReport(GetTickCount(), &early);
  report->lines.insert(report->lines.end(), lines.begin(), lines.end());
  reportPortOwner(server.port, report);
  if (server.showsErrorLog) {
    report->lines.push_back({errorLogLines(server.errorLog, errorLogTitle(*server.kind)), true});
  }
  report->attention = true;
  if (!early) report->balloon = server.kind->balloon;
}

StackReport ServerStack::tick(DWORD now) {
  StackReport report;
  // Ends are noticed through the process handles; the tick looks only where no wait could be had.
  for (const auto& server : servers) {
    if (!server->endWait && server->process.process &&
        (server->state == ServerState::Running || server->state == ServerState::Stopping) && !server->running()) {
      serverEnded(*server, &report);
    }
  }
  if (phase != StackPhase::Quitting) {
    for (const auto& server : servers) {
      if (server->state != ServerState::Stopping || server->forced || !server->running()) continue;
      if (ticksSince(now, server->stopTick) >= kStopBoundMs) {
        forceStop(*server, stopBoundLine(*server->kind, kStopBoundMs), &report);
      } else {
        // One asked by Ctrl+C while still starting may have made its shutdown event since.
        server->retryShutdownEvent();
      }
    }
  }
  if (startPageWaiting) startPageTick(now, &report);
  if (!allStartedReported && !exiting() && everyConfiguredServerRuns(now)) {
    allStartedReported = true;
    if (config->openBrowser && !browserOpened) {
      // The announcement waits for the first answer of the web server's port, so that the
      // browser line still comes first when the site answers at once.
      allStartedPending = true;
      beginStartPageWait(&report);
    } else {
      announceAllStarted(&report);
    }
  }
  if (visibilityPasses < kVisibilityPasses) {
    for (const auto& server : servers) {
      if (server->kind->ownsWindows && server->process.pid != 0)
        applyWindowVisibility(server->process.pid, windowsVisible);
    }
    ++visibilityPasses;
  }
  return report;
}

bool ServerStack::everyConfiguredServerRuns(DWORD now) const {
  for (const auto& server : servers) {
    if (!configured(*server)) continue;
    if (server->state != ServerState::Running || !server->running() || !pastAllStartedDelay(now, server->startTick))
      return false;
  }
  return true;
}

void ServerStack::announceAllStarted(StackReport* report) {
  allStartedPending = false;
  report->allStarted = true;
}

void ServerStack::beginStartPageWait(StackReport* report) {
  startPageWaiting = true;
  startPageWaitTick = GetTickCount();
  startPageAttemptTick = startPageWaitTick;
  startPageFailure.clear();
  if (!startPageProbe.begin(noticeWindow, probeMessage, startPagePort)) startPageAttemptFailed(report);
}

StackReport ServerStack::onProbeEvent(WPARAM socket, LPARAM event) {
  StackReport report;
  if (!startPageWaiting) return report;
  ProbeAnswer answer = startPageProbe.answer(socket, event);
  if (answer == ProbeAnswer::answered) {
    startPageReplied(&report);
  } else if (answer == ProbeAnswer::refused) {
    startPageAttemptFailed(&report);
  }
  return report;
}

// An attempt every kStartPageProbePeriodMs (kStartPageRetryMs once the page failed with 500–599),
// each given kStartPageAttemptMs to connect, all within kStartPageWaitMs; a connection made is
// given kStartPageAnswerMs for its status line, even past that wait.
void ServerStack::startPageTick(DWORD now, StackReport* report) {
  if (startPageProbe.connected()) {
    if (ticksSince(now, startPageProbe.requestTick) >= kStartPageAnswerMs)
      startPageFailed(L"ОШИБКА: Стартовая страница не ответила за 10 секунд.", true, report);
    return;
  }
  DWORD period = startPageFailure.empty() ? kStartPageProbePeriodMs : kStartPageRetryMs;
  if (ticksSince(now, startPageAttemptTick) < period) return;
  startPageAttemptTick = now;
  if (startPageProbe.inFlight()) {
    if (ticksSince(now, startPageProbe.attemptTick) < kStartPageAttemptMs) return;
    startPageAttemptFailed(report);  // a port that takes the connection nowhere
  }
  if (ticksSince(now, startPageWaitTick) >= kStartPageWaitMs) {
    if (!startPageFailure.empty()) {
      startPageFailed(L"ОШИБКА: Стартовая страница ответила с ошибкой: " + startPageFailure, true, report);
      return;
    }
    endStartPageWait();
    report->lines.push_back({L"ОШИБКА: Веб-сервер не отвечает на порту 80. Стартовая страница не открыта.", true});
    report->attention = true;
    report->balloon = L"Веб-сервер не отвечает. Подробности в журнале.";
    return;
  }
  if (!startPageProbe.begin(noticeWindow, probeMessage, startPagePort)) startPageAttemptFailed(report);
}

void ServerStack::startPageAttemptFailed(StackReport* report) {
  startPageProbe.close();
  // After a 500–599 the announcement waits for the page's last word.
  if (allStartedPending && startPageFailure.empty()) announceAllStarted(report);
}

void ServerStack::startPageReplied(StackReport* report) {
  std::wstring line = StatusLineText(startPageProbe.statusLine);
  switch (startPageProbe.status) {
    case StatusClass::good:
      startPageAnswered(report);
      break;
    case StatusClass::clientError:
      startPageFailed(L"ОШИБКА: Стартовая страница ответила с ошибкой: " + line, true, report);
      break;
    case StatusClass::serverError:
      // Asked again from the next attempt's time on; the wait's end reports the last one.
      startPageFailure = line;
      startPageAttemptTick = GetTickCount();
      break;
    default:
      startPageFailed(L"ОШИБКА: На порту 80 отвечает не веб-сервер: ответа HTTP нет.", false, report);
      break;
  }
}

// Whatever answers after our web server ended is not our site; the supervision reports it.
bool ServerStack::webServerServes() const {
  for (const auto& server : servers)
    if (server->kind->servesStartPage && server->process.isRunning()) return true;
  return false;
}

void ServerStack::startPageAnswered(StackReport* report) {
  endStartPageWait();
  if (!webServerServes()) return;
  browserOpened = true;
  report->lines.push_back({L"Запуск браузера..."});
  report->openStartPage = true;
  if (allStartedPending) announceAllStarted(report);
}

void ServerStack::startPageFailed(const std::wstring& line, bool open, StackReport* report) {
  endStartPageWait();
  if (!webServerServes()) return;
  if (open) {
    // The browser shows the server's own details.
    browserOpened = true;
    report->lines.push_back({L"Запуск браузера..."});
    report->openStartPage = true;
  }
  report->attention = true;
  if (allStartedPending) {
    announceAllStarted(report);
    report->journalStays = true;
    report->afterAllStarted.push_back({line, true});
  } else {
    report->lines.push_back({line, true});
  }
}

void ServerStack::endStartPageWait() {
  startPageWaiting = false;
  startPageProbe.close();
}

void ServerStack::showWindows(bool show) {
  windowsVisible = show;
  for (const auto& server : servers) {
    if (!server->kind->ownsWindows || server->process.pid == 0) continue;
    HWND first = applyWindowVisibility(server->process.pid, show);
    if (show && first) SetForegroundWindow(first);
  }
}

void ServerStack::releaseJobs() {
  for (const auto& server : servers) server->job.release();
}

void ServerStack::rearmJobs() {
  if (config->noTerminate) return;
  for (const auto& server : servers) server->job.rearm();
}

// A normal end: the servers no longer end with the Launcher, so one still busy with its Ctrl+C can
// finish. One Exit waited for and that still runs this late is not waited for again.
void ServerStack::release() {
  endStartPageWait();
  for (const auto& server : servers) {
    if (!server->process.process) continue;
    if (!config->noTerminate && server->running()) {
      if (server->kind->exitWaits) {
        server->terminateTree();
      } else {
        server->askToStop();
      }
    }
    server->close();
  }
  for (const auto& server : servers) {
    server->job.release();
    server->job.close();
  }
}
