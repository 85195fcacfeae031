#include "app/control_window.h"

#include <vector>

#include "app/application.h"
#include "app/start_page.h"
#include "resources/version.h"
#include "ui/about_text.h"
#include "ui/dpi.h"
#include "win/system_error.h"

const ServerCommand kServerCommands[] = {
    {&kWebServerKind, IDM_RESTART_WEB_SERVER, L"Перезапустить веб-сервер", L"Запустить веб-сервер"},
    {&kDatabaseKind, IDM_RESTART_DATABASE, L"Перезапустить MySQL сервер", L"Запустить MySQL сервер"},
};
const size_t kServerCommandCount = sizeof kServerCommands / sizeof kServerCommands[0];

LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* application = reinterpret_cast<Application*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!application) return DefWindowProcW(window, message, wParam, lParam);
  return application->handleControlMessage(window, message, wParam, lParam);
}

void showStartupError(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), kMessageBoxCaption, MB_OK | MB_ICONERROR);
}

bool Application::createControlWindow() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = controlWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kControlWindowClass;
  if (!RegisterClassExW(&windowClass)) {
    DWORD error = GetLastError();
    if (error != ERROR_CLASS_ALREADY_EXISTS) {
      showStartupError(L"RegisterClassExW: " + formatSystemError(error));
      showStartupError(L"Не удалось создать скрытое окно приложения.");
      return false;
    }
  }
  controlWindow = CreateWindowExW(0, kControlWindowClass, kControlWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                  nullptr, instance, this);
  if (!controlWindow) {
    showStartupError(L"Не удалось создать скрытое окно приложения.");
    return false;
  }
  // An elevated Launcher would not hear the shell announce a new taskbar: the system filters
  // messages from processes of lower integrity.
  if (tray.taskbarCreatedMessage) {
    ChangeWindowMessageFilterEx(controlWindow, tray.taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
  }
  return true;
}

LRESULT Application::handleControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) tray.taskbarCreatedMessage = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  if (tray.taskbarCreatedMessage != 0 && message == tray.taskbarCreatedMessage) {
    restoreTrayIcon();
    return 0;
  }
  switch (message) {
    case WM_DESTROY:
      stack.phase = StackPhase::Quitting;
      tray.release();
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      // The window must live on while Exit waits for a server; otherwise it goes at once.
      if (stack.phase == StackPhase::Exiting || stack.exitMustWait()) {
        requestExit(StopReason::Exit);
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      return onQueryEndSession();
    case WM_ENDSESSION:
      onEndSession(wParam != FALSE, lParam);
      return 0;
    case WM_NCDESTROY:
      // Destroyed from outside (a WM_CLOSE): the release must not destroy the handle again.
      if (window == controlWindow) {
        controlWindow = nullptr;
        stack.noticeWindow = nullptr;
      }
      break;
    case WM_COMMAND:
      onCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == TIMER_SUPERVISE || wParam == TIMER_FAST_TICK) {
        show(stack.tick(GetTickCount()));
      } else if (wParam == TIMER_TRAY_RETRY) {
        restoreTrayIcon();
      }
      return 0;
    case WM_SERVER_ENDED:
      show(stack.onEndNotice(wParam, lParam));
      return 0;
    case WM_START_PAGE_PROBE:
      show(stack.onProbeEvent(wParam, lParam));
      return 0;
    case WM_TRAYICON:
      if (lParam == WM_LBUTTONDBLCLK) {
        logWindow.toggle();
      } else if (lParam == WM_RBUTTONUP) {
        showTrayMenu();
      }
      return 0;
    case WM_SHOWPROCESSWINDOWS:
      stack.showWindows(true);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Application::onCommand(WORD command) {
  switch (command) {
    case IDM_TOGGLE_WINDOWS:
      stack.showWindows(!stack.windowsVisible);
      return;
    case IDM_STOP_AND_EXIT:
      requestExit(StopReason::StopAndExit);
      return;
    case IDM_EXIT:
      requestExit(StopReason::Exit);
      return;
    case IDM_ABOUT:
      showAbout();
      return;
    case IDC_LOG_EXIT:
      exitFromLogWindow();
      return;
  }
  for (size_t i = 0; i < kServerCommandCount; ++i) {
    // Restarts (or starts, when it is not running) the server; never waits on this thread.
    if (kServerCommands[i].command == command)
      show(stack.stop(StopReason::Restart, stack.find(*kServerCommands[i].kind)));
  }
}

void Application::showTrayMenu() {
  std::vector<TrayServerState> states;
  for (size_t i = 0; i < kServerCommandCount; ++i) {
    const Server* server = stack.find(*kServerCommands[i].kind);
    bool running = server && server->running();
    // Greyed while it stops or the Launcher exits, when a request would change nothing.
    bool busy = stack.exiting() || (server && server->state == ServerState::Stopping);
    states.push_back({kServerCommands[i].command, running, busy});
  }
  tray.showMenu(stack.windowsVisible, states.data(), states.size());
}

// Read fresh at each showing: the settings in effect and whether the servers still run.
void Application::showAbout() {
  AboutSnapshot snapshot;
  snapshot.version = WENDLOR_VERSION_SHORT;
  snapshot.configWarning = configWarning;
  snapshot.config = config;
  snapshot.workingDirectory = effectiveWorkingDirectory(config, programFolder);
  for (size_t i = 0; i < kServerCommandCount; ++i) {
    const Server* server = stack.find(*kServerCommands[i].kind);
    if (!server) continue;
    AboutServer about;
    about.heading = server->kind->aboutHeading;
    about.pid = server->process.pid;
    about.running = server->process.isRunning();
    about.hasWindows = server->kind->ownsWindows;
    about.windowsVisible = stack.windowsVisible;
    about.restarts = server->restarts();
    about.inJob = server->process.inJob;
    snapshot.servers.push_back(about);
  }
  std::wstring text = aboutText(snapshot);
  MessageBoxW(controlWindow, text.c_str(), L"О программе", MB_OK | MB_ICONINFORMATION);
}

bool Application::addTrayIcon() {
  std::vector<TrayServerItem> items;
  for (size_t i = 0; i < kServerCommandCount; ++i) {
    const Server* server = stack.find(*kServerCommands[i].kind);
    items.push_back({kServerCommands[i].command, kServerCommands[i].restartLabel, kServerCommands[i].startLabel,
                     server && stack.configured(*server)});
  }
  tray.buildMenu(items.data(), items.size());
  // Drawn for the size the taskbar shows it at, not shrunk from a larger image.
  HICON icon = loadIconOfSize(instance, kAppIconId, smallIconSize(systemDpi()));
  bool added = tray.add(controlWindow, icon, WM_TRAYICON, kTrayTip);
  logWindow.hidesToTray = added;
  // No taskbar yet (a start at logon) or a busy shell: keep trying until it takes the icon.
  if (!added && controlWindow) SetTimer(controlWindow, TIMER_TRAY_RETRY, kTrayRetryPeriodMs, nullptr);
  return added;
}

void Application::restoreTrayIcon() {
  if (!tray.wanted) return;
  bool wasAdded = tray.added;
  bool added = tray.readd();
  logWindow.hidesToTray = added;
  if (added) {
    if (controlWindow) KillTimer(controlWindow, TIMER_TRAY_RETRY);
    return;
  }
  if (controlWindow) SetTimer(controlWindow, TIMER_TRAY_RETRY, kTrayRetryPeriodMs, nullptr);
  if (!wasAdded) return;
  // The icon is the only way back to a hidden Launcher: fall back to the log window.
  logWindow.append(L"ОШИБКА: Не удалось создать иконку в трее.", true, false);
  logWindow.show();
}
