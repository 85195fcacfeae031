#include "app/application.h"
#include "app/control_window.h"
#include "orchestration/supervision.h"
#include "win/handles.h"

void Application::stopChildren() {
  if (database.process.process) {
    // Exit has given the database its time already; one still running this late is not waited for.
    if (database.running() && !config.noTerminate) database.process.terminate(0);
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
  if (exiting()) return;
  phase = LauncherPhase::StoppingServers;
  if (!exitWaitsForDatabase()) {
    finishExit(interruptWebServer);
    return;
  }
  exitInterruptsWebServer = interruptWebServer;
  if (database.state == ServerState::Stopping) {
    // A restart is stopping it already, with its Ctrl+C sent and its bound running: Exit takes
    // over that wait and starts nothing afterwards.
    database.restarting = false;
    return;
  }
  beginStop(database);
  // Without its end notice or the bound's timer nothing would end the wait.
  if (!controlWindow || !database.endWait ||
      !SetTimer(controlWindow, TIMER_DATABASE_STOP, kDatabaseStopTimeoutMs, nullptr)) {
    if (database.running()) database.process.terminate(0);
    finishExit(exitInterruptsWebServer);
  }
}

void Application::beginStop(Server& server) {
  server.state = ServerState::Stopping;
  server.stopTick = GetTickCount();
  bool sent = server.process.sendCtrlC();
  if (server.texts->stoppingLine) appendJournal(server.texts->stoppingLine, false, false);
  // Nothing will make it shut down by itself, so waiting would only cost the user time.
  if (!sent && server.running()) forceStop(server, server.texts->ctrlCNotDelivered);
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
  server.process.terminate(0);
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
  if (shutdownBlocked || !controlWindow) return;
  shutdownBlocked = ShutdownBlockReasonCreate(controlWindow, kShutdownBlockReason) != FALSE;
}

void Application::clearShutdownBlockReason() {
  if (!shutdownBlocked) return;
  if (controlWindow) ShutdownBlockReasonDestroy(controlWindow);
  shutdownBlocked = false;
}

BOOL Application::onQueryEndSession() {
  if (serversToStopAtSessionEnd()) setShutdownBlockReason();
  return TRUE;
}

void Application::onEndSession(bool ending) {
  if (!ending) {
    clearShutdownBlockReason();
    return;
  }
  if (config.noTerminate) return;
  // A forced shutdown sends no query first.
  setShutdownBlockReason();
  appendJournal(L"Завершение сеанса Windows: остановка серверов...", false, false);
  stopServersForSessionEnd();
  clearShutdownBlockReason();
}

// Timers are not dispatched inside a sent message: this waits on the processes themselves. The
// session ends when the handler returns, so there is no quit request to post.
void Application::stopServersForSessionEnd() {
  endStartPageProbe();
  if (database.running() && !database.forced) {
    // An Exit already under way has sent the Ctrl+C, and its time counts.
    if (database.state != ServerState::Stopping) beginStop(database);
    if (!database.forced) {
      DWORD spent = ticksSince(GetTickCount(), database.stopTick);
      DWORD left = spent < kDatabaseStopTimeoutMs ? kDatabaseStopTimeoutMs - spent : 0;
      if (WaitForSingleObject(database.process.process, left) == WAIT_TIMEOUT) {
        forceStop(database, stopBoundLine(kDatabaseTexts, kDatabaseStopTimeoutMs));
      }
    }
  }
  // The web server last, and never by force, as at Exit; it gets the same time to close its logs.
  if (webServer.running()) {
    webServer.state = ServerState::Stopping;
    if (webServer.process.sendCtrlC()) WaitForSingleObject(webServer.process.process, kDatabaseStopTimeoutMs);
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
  if (trayAdded) {
    tray.removeTrayIcon();
    trayAdded = false;
  }
  destroyMenu(trayMenu);
  destroyIcon(trayIconHandle);
  stopChildren();
  // A normal end: the servers are no longer ended with the Launcher, so a web server still busy
  // with its Ctrl+C can finish.
  serverJob.release();
  serverJob.close();
  destroyWindow(controlWindow);
}

Application::~Application() {
  clearShutdownBlockReason();
  releaseTrayAndMenu();
  stopChildren();
  serverJob.release();
  serverJob.close();
  destroyWindow(controlWindow);
  if (logWindow) {
    destroyWindow(logWindow);
    journalEdit = nullptr;
    exitButton = nullptr;
    collapseButton = nullptr;
  }
  closeHandle(instanceMutex);
}
