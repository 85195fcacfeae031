#include "app/application.h"
#include "app/control_window.h"
#include "win/handles.h"
#include "orchestration/supervision.h"

void Application::stopChildren() {
  if (databaseProcess.process) {
    // Exit has given the database its time already; one still running this late is not waited for.
    if (databaseProcess.isRunning() && !config.noTerminate) databaseProcess.terminate(0);
    databaseProcess.close();
  }
  if (webServerProcess.process) {
    if (webServerProcess.isRunning() && !config.noTerminate) webServerProcess.sendCtrlC();
    webServerProcess.close();
  }
}

void Application::stopServersAndQuit() {
  requestExit(true);
}

void Application::exitFromLogWindow() {
  if (stoppingDatabase) return;
  appendJournal(L"Завершение работы программы...", false, false);
  requestExit(true);
}

bool Application::exitWaitsForDatabase() const {
  return !config.noTerminate && databaseProcess.isRunning();
}

// A database killed mid-write can leave its tables damaged: it gets a console Ctrl+C and a bounded
// time to shut down before it is ended by force. That time is spent in the message loop, so the
// windows and the tray icon keep answering meanwhile.
void Application::requestExit(bool interruptWebServer) {
  // From here on the servers end because we stop them, and no start page is to open.
  serversStopping = true;
  endStartPageProbe();
  if (stoppingDatabase) return;
  if (!exitWaitsForDatabase()) {
    finishExit(interruptWebServer);
    return;
  }
  stoppingDatabase = true;
  exitInterruptsWebServer = interruptWebServer;
  databaseTerminated = false;
  bool sent = databaseProcess.sendCtrlC();
  appendJournal(L"Остановка MySQL сервера...", false, false);
  // Nothing will make it shut down by itself, so waiting would only cost the user time.
  if (!sent && databaseProcess.isRunning()) forceDatabaseStop(kCtrlCNotDeliveredLine);
  databaseStopTick = GetTickCount();
  // Without the timer nothing would end the wait.
  if (!controlWindow || !SetTimer(controlWindow, TIMER_DATABASE_STOP, kDatabaseStopPollMs, nullptr)) {
    if (!databaseTerminated) databaseProcess.terminate(0);
    finishExit(exitInterruptsWebServer);
  }
}

void Application::checkDatabaseStop() {
  if (!stoppingDatabase) {
    KillTimer(controlWindow, TIMER_DATABASE_STOP);
    return;
  }
  if (databaseProcess.isRunning() && !databaseTerminated) {
    if (ticksSince(GetTickCount(), databaseStopTick) < kDatabaseStopTimeoutMs) return;
    forceDatabaseStop(databaseStopBoundLine());
    // The next tick goes on, so that the web server hears of the end after the database is gone.
    return;
  }
  finishExit(exitInterruptsWebServer);
}

std::wstring databaseStopBoundLine() {
  return L"ОШИБКА: MySQL сервер не остановился за " + std::to_wstring(kDatabaseStopTimeoutMs / 1000) +
         L" секунд и был завершён принудительно.";
}

void Application::forceDatabaseStop(const std::wstring& line) {
  databaseProcess.terminate(0);
  databaseTerminated = true;
  appendJournal(line, true, false);
}

// Logoff and shutdown end the servers' consoles too, and a database ended that way dies
// mid-write. Windows asks us before them (the shutdown level set at start-up), and our answer to
// the session's end waits until the servers have been stopped the way Exit stops them.
bool Application::serversToStopAtSessionEnd() const {
  return !config.noTerminate && (databaseProcess.isRunning() || webServerProcess.isRunning());
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
  serversStopping = true;
  endStartPageProbe();
  if (databaseProcess.isRunning() && !databaseTerminated) {
    // An Exit already under way has sent the Ctrl+C, and its time counts.
    DWORD since = stoppingDatabase ? databaseStopTick : GetTickCount();
    bool sent = stoppingDatabase || databaseProcess.sendCtrlC();
    if (!stoppingDatabase) appendJournal(L"Остановка MySQL сервера...", false, false);
    if (!sent) {
      if (databaseProcess.isRunning()) forceDatabaseStop(kCtrlCNotDeliveredLine);
    } else {
      DWORD spent = ticksSince(GetTickCount(), since);
      DWORD left = spent < kDatabaseStopTimeoutMs ? kDatabaseStopTimeoutMs - spent : 0;
      if (WaitForSingleObject(databaseProcess.process, left) == WAIT_TIMEOUT)
        forceDatabaseStop(databaseStopBoundLine());
    }
  }
  // The web server last, and never by force, as at Exit; it gets the same time to close its logs.
  if (webServerProcess.isRunning() && webServerProcess.sendCtrlC()) {
    WaitForSingleObject(webServerProcess.process, kDatabaseStopTimeoutMs);
  }
}

// stoppingDatabase stays set: the quit request is on its way, and nothing else is to start now.
void Application::finishExit(bool interruptWebServer) {
  if (controlWindow) KillTimer(controlWindow, TIMER_DATABASE_STOP);
  // One interrupt and no wait: a web server that ignores it gets a second one at the teardown and
  // is then left running.
  if (interruptWebServer && !config.noTerminate && webServerProcess.isRunning()) webServerProcess.sendCtrlC();
  PostQuitMessage(0);
}

void Application::endOfRunTeardown() {
  clearShutdownBlockReason();
  if (controlWindow) {
    KillTimer(controlWindow, TIMER_SUPERVISE);
    KillTimer(controlWindow, TIMER_STARTUP);
    KillTimer(controlWindow, TIMER_DATABASE_STOP);
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
