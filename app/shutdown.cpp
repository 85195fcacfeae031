#include "app/application.h"
#include "app/control_window.h"
#include "orchestration/supervision.h"
#include "win/handles.h"

void Application::stopChildren() {
  if (database.process.process) {
    // Exit has given the database its time already; one still running this late is not waited for.
    if (database.running() && !config.noTerminate) database.terminateTree();
    database.close();
  }
  if (webServer.process.process) {
    if (webServer.running() && !config.noTerminate) webServer.process.sendCtrlC();
    webServer.close();
  }
}

void Application::stopServersAndQuit() {
  requestExit(true);
}

void Application::exitFromLogWindow() {
  if (exiting()) return;
  appendJournal(L"Завершение работы программы...", false, false);
  requestExit(true);
}

bool Application::exitWaitsForDatabase() const {
  return !config.noTerminate && database.running();
}

// A database killed mid-write can leave its tables damaged: it gets a console Ctrl+C and a bounded
// time to shut down before it is ended by force. That time is spent in the message loop, so the
// windows and the tray icon keep answering meanwhile; its end arrives as its end notice.
void Application::requestExit(bool interruptWebServer) {
  // No start page is to open from here on.
  endStartPageProbe();
  // The servers were stopped as the session ended; only the quit is left.
  if (phase == LauncherPhase::SessionEnded) {
    finishExit(false);
    return;
  }
  if (exiting()) return;
  phase = LauncherPhase::StoppingServers;
  if (!exitWaitsForDatabase()) {
    finishExit(interruptWebServer);
    return;
  }
  exitInterruptsWebServer = interruptWebServer;
  if (database.state == ServerState::Stopping) {
    // A restart is stopping it already, with its request sent and its bound running: Exit takes
    // over that wait and starts nothing afterwards.
    database.restarting = false;
    return;
  }
  beginStop(database);
  // Without its end notice or the bound's timer nothing would end the wait.
  if (!controlWindow || !database.endWait ||
      !SetTimer(controlWindow, TIMER_DATABASE_STOP, kDatabaseStopTimeoutMs, nullptr)) {
    if (database.running()) database.terminateTree();
    finishExit(exitInterruptsWebServer);
  }
}

// A database that is only sent a Ctrl+C may have no handler for it and die as if it crashed: its
// own shutdown event is the clean way, and the Ctrl+C serves where the event does not open (a
// server still starting, or another database). The first line says the stop has begun.
void Application::beginStop(Server& server) {
  server.state = ServerState::Stopping;
  server.stopTick = GetTickCount();
  if (server.texts->stoppingLine) appendJournal(server.texts->stoppingLine, false, false);
  bool asked = server.askToStop();
  // Nothing will make it shut down by itself, so waiting would only cost the user time.
  if (!asked && server.running()) {
    forceStop(server, server.texts->ctrlCNotDelivered);
  } else if (server.awaitsShutdownEvent() && controlWindow) {
    SetTimer(controlWindow, TIMER_SHUTDOWN_EVENT, kShutdownEventRetryMs, nullptr);
  }
}

void Application::retryShutdownEvents() {
  bool awaited = false;
  for (Server* server : {&database, &webServer}) {
    if (!server->running()) continue;
    server->retryShutdownEvent();
    awaited = awaited || server->awaitsShutdownEvent();
  }
  if (!awaited && controlWindow) KillTimer(controlWindow, TIMER_SHUTDOWN_EVENT);
}

// The bound of Exit's wait. The database's end, by itself or by force, then comes as its notice,
// so the web server hears of Exit only after the database is gone.
void Application::checkDatabaseStop() {
  if (controlWindow) KillTimer(controlWindow, TIMER_DATABASE_STOP);
  if (phase != LauncherPhase::StoppingServers && !database.restarting) return;
  if (database.running() && !database.forced)
    forceStop(database, stopBoundLine(kDatabaseTexts, kDatabaseStopTimeoutMs));
}

void Application::forceStop(Server& server, const std::wstring& line) {
  server.terminateTree();
  server.forced = true;
  appendJournal(line, true, false);
}

// Logoff and shutdown end the servers' consoles too, and a database ended that way dies
// mid-write. Windows asks us before them (the shutdown level set at start-up), and our answer to
// the session's end waits until the servers have been stopped the way Exit stops them.
bool Application::serversToStopAtSessionEnd() const {
  return !config.noTerminate && (database.running() || webServer.running());
}

void Application::setShutdownBlockReason() {
  if (shutdownReasonWindow) return;
  HWND window = logWindow.window ? logWindow.window : controlWindow;
  if (window && ShutdownBlockReasonCreate(window, kShutdownBlockReason)) shutdownReasonWindow = window;
}

void Application::clearShutdownBlockReason() {
  if (!shutdownReasonWindow) return;
  ShutdownBlockReasonDestroy(shutdownReasonWindow);
  shutdownReasonWindow = nullptr;
}

// Windows soon ends a program that holds up the session's end without a visible window, and the
// servers' job would then end them in the middle of their shutdown. So the servers no longer end
// with the Launcher, and the Journal comes on screen, without the focus, with the reason.
void Application::holdSessionEnd() {
  for (Server* server : {&database, &webServer}) server->job.release();
  if (logWindow.window && !logWindow.visible) showLogWindow(true, false);
  setShutdownBlockReason();
}

BOOL Application::onQueryEndSession() {
  if (serversToStopAtSessionEnd()) holdSessionEnd();
  return TRUE;
}

void Application::onEndSession(bool ending, LPARAM reasons) {
  if (!ending) {
    // The logoff was cancelled: the Launcher again leaves nothing behind should it die.
    clearShutdownBlockReason();
    if (!config.noTerminate) {
      for (Server* server : {&database, &webServer}) server->job.rearm();
    }
    return;
  }
  // An installer or an update needs the program's files: it must end, as Exit ends it.
  if (reasons & ENDSESSION_CLOSEAPP) {
    requestExit(true);
    return;
  }
  // Whatever comes after this message, nothing is started again: the session is gone.
  bool exitUnderWay = phase == LauncherPhase::StoppingServers;
  phase = LauncherPhase::SessionEnded;
  endStartPageProbe();
  if (!config.noTerminate && serversToStopAtSessionEnd()) {
    // A forced shutdown sends no query first.
    holdSessionEnd();
    appendJournal(L"Завершение сеанса Windows: остановка серверов...", false, false);
    stopServersForSessionEnd();
  }
  clearShutdownBlockReason();
  if (exitUnderWay) finishExit(false);
}

// Both servers are asked at once and waited for together; timers are not dispatched inside a sent
// message, so this waits on their processes, bounded as Exit is. The session ends when the handler
// returns, so there is no quit request to post.
void Application::stopServersForSessionEnd() {
  Server* servers[] = {&database, &webServer};
  for (Server* server : servers) {
    // A stop already under way (Exit, a restart) was asked already, and its time counts.
    if (server->running() && server->state != ServerState::Stopping) beginStop(*server);
  }
  for (;;) {
    DWORD now = GetTickCount();
    HANDLE waits[2];
    DWORD count = 0;
    bool left = false;
    for (Server* server : servers) {
      if (server->forced || !server->running()) continue;
      if (ticksSince(now, server->stopTick) >= kDatabaseStopTimeoutMs) {
        forceStop(*server, stopBoundLine(*server->texts, kDatabaseStopTimeoutMs));
        continue;
      }
      left = true;
      server->retryShutdownEvent();
      HANDLE member = server->process.isRunning() ? server->process.process : server->treeMember;
      if (member) waits[count++] = member;
    }
    if (!left) return;
    // Woken at once by an end; every 100 ms to try a shutdown event again and to mind the bound.
    if (count) {
      WaitForMultipleObjects(count, waits, FALSE, kShutdownEventRetryMs);
    } else {
      Sleep(kShutdownEventRetryMs);
    }
  }
}

// The phase stays Quitting: the quit request is on its way, and nothing else is to start now.
void Application::finishExit(bool interruptWebServer) {
  phase = LauncherPhase::Quitting;
  if (controlWindow) KillTimer(controlWindow, TIMER_DATABASE_STOP);
  // One interrupt and no wait: a web server that ignores it gets a second one at the teardown and
  // is then left running.
  if (interruptWebServer && !config.noTerminate && webServer.running()) {
    webServer.state = ServerState::Stopping;
    webServer.process.sendCtrlC();
  }
  PostQuitMessage(0);
}

void Application::endOfRunTeardown() {
  clearShutdownBlockReason();
  if (controlWindow) {
    KillTimer(controlWindow, TIMER_SUPERVISE);
    KillTimer(controlWindow, TIMER_STARTUP);
    KillTimer(controlWindow, TIMER_DATABASE_STOP);
    KillTimer(controlWindow, TIMER_WEB_SERVER_STOP);
  }
  endStartPageProbe();
  releaseTrayAndMenu();
  stopChildren();
  releaseServerJobs();
  destroyWindow(controlWindow);
}

// A normal end: the servers are no longer ended with the Launcher, so a web server still busy with
// its Ctrl+C can finish.
void Application::releaseServerJobs() {
  for (Server* server : {&database, &webServer}) {
    server->job.release();
    server->job.close();
  }
}

Application::~Application() {
  clearShutdownBlockReason();
  releaseTrayAndMenu();
  stopChildren();
  releaseServerJobs();
  destroyWindow(controlWindow);
  logWindow.destroy();
  closeHandle(instanceMutex);
}
