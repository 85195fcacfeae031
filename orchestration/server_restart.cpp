#include "app/application.h"
#include "app/control_window.h"
#include "orchestration/supervision.h"

// A restart stops the server the way Exit would, waits for its end in the message loop (its end
// notice, or the bound's timer), and then starts it as at start-up. Its end is never reported as
// unexpected, and the other server goes on meanwhile.

void Application::restartWebServer() {
  if (phase == LauncherPhase::Starting || exiting() || webServer.state == ServerState::Stopping) return;
  if (!webServer.running()) {
    restartEnded(webServer);
    return;
  }
  appendJournal(L"Перезапуск веб-сервера...", false, false);
  // A start page still waited for would be the old server's.
  if (startPageProbing) endStartPageProbe();
  allStartedPending = false;
  stopForRestart(webServer, TIMER_WEB_SERVER_STOP);
}

void Application::restartDatabase() {
  if (config.mysqlServer.empty() || phase == LauncherPhase::Starting || exiting() ||
      database.state == ServerState::Stopping) {
    return;
  }
  if (!database.running()) {
    restartEnded(database);
    return;
  }
  appendJournal(L"Перезапуск MySQL сервера...", false, false);
  stopForRestart(database, TIMER_DATABASE_STOP);
}

void Application::stopForRestart(Server& server, UINT_PTR boundTimer) {
  server.restarting = true;
  beginStop(server);
  if (!server.forced && (!controlWindow || !SetTimer(controlWindow, boundTimer, kDatabaseStopTimeoutMs, nullptr))) {
    // Nothing would bound the wait.
    forceStop(server, stopBoundLine(*server.texts, kDatabaseStopTimeoutMs));
  }
}

void Application::checkWebServerStop() {
  if (controlWindow) KillTimer(controlWindow, TIMER_WEB_SERVER_STOP);
  if (webServer.state == ServerState::Stopping && webServer.running() && !webServer.forced) {
    forceStop(webServer, stopBoundLine(kWebServerTexts, kDatabaseStopTimeoutMs));
  }
}

void Application::restartEnded(Server& server) {
  if (exiting()) return;
  if (&server == &webServer) {
    if (controlWindow) KillTimer(controlWindow, TIMER_WEB_SERVER_STOP);
    if (!startWebServer()) return;
    // Its windows are hidden or shown again over the first ticks, as at start-up.
    visibilityPasses = 0;
    if (controlWindow) SetTimer(controlWindow, TIMER_STARTUP, kStartupTimerPeriodMs, nullptr);
  } else {
    if (controlWindow) KillTimer(controlWindow, TIMER_DATABASE_STOP);
    startDatabase();
  }
}
