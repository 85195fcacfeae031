#include "app/control_window.h"

#include "app/application.h"
#include "resources/version.h"
#include "ui/about_text.h"
#include "win/window_visibility.h"

LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* application = reinterpret_cast<Application*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!application) return DefWindowProcW(window, message, wParam, lParam);
  return application->handleControlMessage(window, message, wParam, lParam);
}

LRESULT Application::handleControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) tray.taskbarCreatedMessage = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  if (tray.taskbarCreatedMessage != 0 && message == tray.taskbarCreatedMessage) {
    restoreTrayIcon();
    return 0;
  }
  switch (message) {
    case WM_DESTROY:
      phase = LauncherPhase::Quitting;
      releaseTrayAndMenu();
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      // The window must live on while Exit waits for the database; otherwise it goes at once.
      if (phase == LauncherPhase::StoppingServers || exitWaitsForDatabase()) {
        requestExit(false);
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      return onQueryEndSession();
    case WM_ENDSESSION:
      onEndSession(wParam != FALSE, lParam);
      return 0;
    case WM_NCDESTROY:
      // Destroyed from outside (a WM_CLOSE): the teardown must not destroy the handle again.
      if (window == controlWindow) controlWindow = nullptr;
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_TOGGLE_WINDOWS:
          toggleProcessWindows();
          return 0;
        case IDM_STOP_AND_EXIT:
          stopServersAndQuit();
          return 0;
        case IDM_EXIT:
          requestExit(false);
          return 0;
        case IDM_ABOUT:
          showAbout();
          return 0;
        case IDM_RESTART_WEB_SERVER:
          restartWebServer();
          return 0;
        case IDM_RESTART_DATABASE:
          restartDatabase();
          return 0;
        case IDC_LOG_EXIT:
          exitFromLogWindow();
          return 0;
      }
      break;
    case WM_TIMER:
      if (wParam == TIMER_SUPERVISE || wParam == TIMER_STARTUP) {
        supervise();
        return 0;
      }
      if (wParam == TIMER_DATABASE_STOP) {
        checkDatabaseStop();
        return 0;
      }
      if (wParam == TIMER_WEB_SERVER_STOP) {
        checkWebServerStop();
        return 0;
      }
      if (wParam == TIMER_SHUTDOWN_EVENT) {
        retryShutdownEvents();
        return 0;
      }
      if (wParam == TIMER_START_PAGE) {
        onStartPageProbeTimer();
        return 0;
      }
      if (wParam == TIMER_TRAY_RETRY) {
        restoreTrayIcon();
        return 0;
      }
      break;
    case WM_SERVER_ENDED:
      onServerEnded(wParam, lParam);
      return 0;
    case WM_START_PAGE_PROBE:
      onStartPageProbeAnswer(wParam, lParam);
      return 0;
    case WM_TRAYICON:
      if (lParam == WM_LBUTTONDBLCLK) {
        logWindow.toggle();
      } else if (lParam == WM_RBUTTONUP) {
        showTrayMenuAtCursor();
      }
      return 0;
    case WM_SHOWPROCESSWINDOWS:
      showProcessWindows();
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Application::toggleProcessWindows() {
  bool wasVisible = processWindowsVisible;
  processWindowsVisible = !processWindowsVisible;
  if (webServer.process.pid == 0) return;
  HWND first = applyWindowVisibility(webServer.process.pid, processWindowsVisible);
  if (!wasVisible && first) SetForegroundWindow(first);
}

void Application::showProcessWindows() {
  processWindowsVisible = true;
  if (webServer.process.pid == 0) return;
  HWND first = applyWindowVisibility(webServer.process.pid, true);
  if (first) SetForegroundWindow(first);
}

void Application::showTrayMenuAtCursor() {
  // A request would change nothing while a server stops or the Launcher exits.
  const TrayServerState states[] = {
      {IDM_RESTART_WEB_SERVER, webServer.running(), exiting() || webServer.state == ServerState::Stopping},
      {IDM_RESTART_DATABASE, database.running(), exiting() || database.state == ServerState::Stopping},
  };
  tray.showMenu(processWindowsVisible, states, ARRAYSIZE(states));
}

namespace {

AboutServer aboutServer(const wchar_t* heading, const Server& server) {
  AboutServer about;
  about.heading = heading;
  about.pid = server.process.pid;
  about.running = server.process.isRunning();
  about.restarts = server.restarts();
  about.inJob = server.process.inJob;
  return about;
}

}  // namespace

// Taken fresh at each showing: the settings in effect and whether the servers still run.
void Application::showAbout() {
  AboutSnapshot snapshot;
  snapshot.version = WENDLOR_VERSION_SHORT;
  snapshot.configWarning = configWarning;
  snapshot.config = config;
  snapshot.workingDirectory = EffectiveWorkingDirectory();
  snapshot.servers.push_back(aboutServer(L"Основной процесс:", webServer));
  snapshot.servers.back().hasWindows = true;
  snapshot.servers.back().windowsVisible = processWindowsVisible;
  snapshot.servers.push_back(aboutServer(L"MySQL процесс:", database));
  std::wstring text = aboutText(snapshot);
  MessageBoxW(controlWindow, text.c_str(), L"О программе", MB_OK | MB_ICONINFORMATION);
}
