#include "app/control_window.h"

#include "app/application.h"
#include "ui/window_visibility.h"

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
  if (message == WM_NCCREATE) taskbarCreatedMessage = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  if (taskbarCreatedMessage != 0 && message == taskbarCreatedMessage) {
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
        showLogWindow(!logWindowVisible);
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
  if (!trayMenu) return;
  const wchar_t* label = processWindowsVisible ? L"Скрыть окна процесса" : L"Показать окна процесса";
  ModifyMenuW(trayMenu, IDM_TOGGLE_WINDOWS, MF_BYCOMMAND | MF_STRING, IDM_TOGGLE_WINDOWS, label);
  updateRestartItems();
  tray.showTrayMenu(trayMenu);
}

// "Перезапустить" for a running server, "Запустить" for one that is not; greyed while it stops or
// the Launcher exits, when a request would change nothing.
void Application::updateRestartItems() {
  struct Item {
    UINT command;
    const Server& server;
    const wchar_t* restart;
    const wchar_t* start;
  };
  const Item items[] = {
      {IDM_RESTART_WEB_SERVER, webServer, L"Перезапустить веб-сервер", L"Запустить веб-сервер"},
      {IDM_RESTART_DATABASE, database, L"Перезапустить MySQL сервер", L"Запустить MySQL сервер"},
  };
  for (const Item& item : items) {
    bool busy = exiting() || item.server.state == ServerState::Stopping;
    UINT flags = MF_BYCOMMAND | MF_STRING | (busy ? MF_GRAYED : MF_ENABLED);
    ModifyMenuW(trayMenu, item.command, flags, item.command, item.server.running() ? item.restart : item.start);
  }
}

void Application::showAbout() {
  std::wstring text = buildAboutText();
  MessageBoxW(controlWindow, text.c_str(), L"О программе", MB_OK | MB_ICONINFORMATION);
}
