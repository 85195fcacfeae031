#include "orchestration/supervision.h"

#include "app/application.h"
#include "app/control_window.h"
#include "app/start_page.h"
#include "orchestration/port_owner.h"
#include "win/window_visibility.h"

namespace {

Server* serverOf(Application& app, WPARAM notice) {
  if (notice == kWebServerNotice) return &app.webServer;
  if (notice == kDatabaseNotice) return &app.database;
  return nullptr;
}

}  // namespace

void Application::onServerEnded(WPARAM notice, LPARAM startCount) {
  Server* server = serverOf(*this, notice);
  // A notice about an earlier start, or a server already closed, is no news.
  if (!server || !server->isCurrentStart(startCount) || !server->process.process) return;
  // The process started has ended, but others of its tree run on (the real database under its
  // monitor, the web server's child): the server ends with the last of them.
  if (server->running()) {
    // Without a wait the supervision tick looks for the end instead.
    server->watchEnd(controlWindow, WM_SERVER_ENDED, notice);
    return;
  }
  serverEnded(*server);
}

void Application::serverEnded(Server& server) {
  // The wait has fired once and is done with; it is let go here, never in its own callback.
  server.unwatch();
  bool ours = server.state == ServerState::Stopping;
  if (server.state != ServerState::Running && !ours) return;
  if (&server == &database && phase == LauncherPhase::StoppingServers) {
    server.state = ServerState::Ended;
    finishExit(exitInterruptsWebServer);
    return;
  }
  if (ours && server.restarting && !exiting()) {
    server.state = ServerState::Ended;
    restartEnded(server);
    return;
  }
  // Ends we caused, and any end once Exit has begun, are not reported.
  if (ours || exiting()) {
    server.state = ServerState::Ended;
    return;
  }
  if (&server == &webServer) {
    // A start page that might still open would promise a site that is gone.
    if (startPageProbing) endStartPageProbe();
    allStartedPending = false;
  }
  bool early = false;
  for (const JournalLine& line : server.endReport(GetTickCount(), &early)) {
    appendJournal(line.text, line.isError, line.isSuccess);
  }
  reportPortOwner(server.port);
  if (server.showsErrorLog) appendJournal(MysqlErrorLogLines(server.errorLog), true, false);
  callAttention(early ? nullptr : server.texts->balloon);
}

void Application::callAttention(const wchar_t* balloonText) {
  if (logWindow.window && !logWindow.visible) showLogWindow(true);
  if (balloonText && tray.added) tray.showBalloon(kTrayTip, balloonText);
}

void Application::announceAllStarted() {
  allStartedPending = false;
  if (!tray.added) {
    // Left on screen: without the tray icon there would be no way back to it.
    appendJournal(L"Все процессы успешно запущены.", false, true);
    return;
  }
  appendJournal(L"Все процессы успешно запущены. Окно журнала скрыто.", false, true);
  if (logWindow.window) hideLogWindow();
}

// With no database configured the web server alone is the whole stack.
bool Application::everyConfiguredServerRuns(DWORD now) const {
  if (webServer.state != ServerState::Running || !webServer.running() ||
      !pastAllStartedDelay(now, webServer.startTick)) {
    return false;
  }
  return config.mysqlServer.empty() || (database.state == ServerState::Running && database.running());
}

void Application::supervise() {
  DWORD now = GetTickCount();
  // Ends are noticed through the process handles; the tick looks only where no wait could be had.
  for (Server* server : {&database, &webServer}) {
    if (!server->endWait && server->process.process &&
        (server->state == ServerState::Running || server->state == ServerState::Stopping) && !server->running()) {
      serverEnded(*server);
    }
  }

  if (!allStartedReported && !exiting() && everyConfiguredServerRuns(now)) {
    allStartedReported = true;
    if (config.openBrowser && !browserOpened) {
      // The announcement waits for the first answer of the web server's port, so that the
      // browser line still comes first when the site answers at once.
      allStartedPending = true;
      beginStartPageProbe();
    } else {
      announceAllStarted();
    }
  }

  if (visibilityPasses >= kVisibilityPasses) {
    KillTimer(controlWindow, TIMER_STARTUP);
  } else {
    if (webServer.process.pid != 0) applyWindowVisibility(webServer.process.pid, processWindowsVisible);
    ++visibilityPasses;
  }
}
