#include "app/application.h"

#include "app/control_window.h"
#include "app/start_page.h"
#include "config/paths.h"
#include "ui/dpi.h"
#include "win/handles.h"
#include "win/system_error.h"

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
  if (tray.taskbarCreatedMessage)
    ChangeWindowMessageFilterEx(controlWindow, tray.taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
  return true;
}

void Application::appendJournal(const std::wstring& text, bool isError, bool isSuccess) {
  logWindow.append(text, isError, isSuccess);
}

void Application::showLogWindow(bool show, bool activate) {
  if (show) {
    logWindow.show(activate);
  } else if (logWindow.visible) {
    logWindow.toggle();
  }
}

void Application::hideLogWindow() {
  logWindow.hide();
}

// The database's item only where one is configured.
void Application::buildTrayMenu() {
  const TrayServerItem items[] = {
      {IDM_RESTART_WEB_SERVER, L"Перезапустить веб-сервер", L"Запустить веб-сервер", true},
      {IDM_RESTART_DATABASE, L"Перезапустить MySQL сервер", L"Запустить MySQL сервер", !config.mysqlServer.empty()},
  };
  tray.buildMenu(items, ARRAYSIZE(items));
}

bool Application::addTrayIcon() {
  // Drawn for the size the taskbar shows it at, not shrunk from a larger image.
  HICON icon = loadIconOfSize(instance, kAppIconId, smallIconSize(systemDpi()));
  logWindow.hidesToTray = tray.add(controlWindow, icon, WM_TRAYICON, kTrayTip);
  // No taskbar yet (a start at logon) or a busy shell: keep trying until it takes the icon.
  if (!tray.added && controlWindow) SetTimer(controlWindow, TIMER_TRAY_RETRY, kTrayRetryPeriodMs, nullptr);
  return tray.added;
}

void Application::releaseTrayAndMenu() {
  if (controlWindow) KillTimer(controlWindow, TIMER_TRAY_RETRY);
  tray.release();
  logWindow.hidesToTray = false;
}

void Application::restoreTrayIcon() {
  if (!tray.wanted) return;
  bool wasAdded = tray.added;
  logWindow.hidesToTray = tray.readd();
  if (tray.added) {
    if (controlWindow) KillTimer(controlWindow, TIMER_TRAY_RETRY);
    return;
  }
  if (controlWindow) SetTimer(controlWindow, TIMER_TRAY_RETRY, kTrayRetryPeriodMs, nullptr);
  if (!wasAdded) return;
  // The icon is the only way back to a hidden Launcher: fall back to the log window.
  appendJournal(L"ОШИБКА: Не удалось создать иконку в трее.", true, false);
  showLogWindow(true);
}

int Application::run(HINSTANCE moduleInstance) {
  instance = moduleInstance;
  programFolder = GetProgramFolder();
  startupFolder = GetCurrentFolder();
  config = LoadConfig(programFolder, &configWarning);

  if (config.singleInstance && !acquireSingleInstance()) {
    openStartPage();
    return 1;
  }

  if (!createControlWindow()) return 1;
  // Told of logoff and shutdown before the servers' consoles are, so they can be stopped cleanly.
  SetProcessShutdownParameters(kShutdownLevel, 0);

  if (!logWindow.create(instance, controlWindow)) {
    showStartupError(L"Не удалось создать окно журнала.");
    destroyWindow(controlWindow);
    return 1;
  }
  showLogWindow(true);

  mapVirtualDrive();
  startDatabase();
  startWebServer();

  buildTrayMenu();
  if (!addTrayIcon()) {
    appendJournal(L"ОШИБКА: Не удалось создать иконку в трее.", true, false);
    showStartupError(L"Не удалось создать иконку в трее. Для завершения программы закройте это окно.");
    showLogWindow(true);
  }

  SetTimer(controlWindow, TIMER_SUPERVISE, config.checkIntervalMs, nullptr);
  visibilityPasses = 0;
  SetTimer(controlWindow, TIMER_STARTUP, kStartupTimerPeriodMs, nullptr);

  appendJournal(L"Подождите...", false, false);
  phase = LauncherPhase::Running;

  MSG message{};
  int exitCode = 0;
  for (;;) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      exitCode = static_cast<int>(message.wParam);
      break;
    }
    // A failed GetMessageW leaves message as it was: its wParam is no exit code.
    if (got == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  endOfRunTeardown();
  return exitCode;
}
