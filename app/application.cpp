#include "app/application.h"

#include "app/control_window.h"
#include "app/start_page.h"
#include "config/paths.h"
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
  if (taskbarCreatedMessage) ChangeWindowMessageFilterEx(controlWindow, taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
  return true;
}

void Application::buildTrayMenu() {
  trayMenu = CreatePopupMenu();
  if (!trayMenu) return;
  AppendMenuW(trayMenu, MF_STRING, IDM_TOGGLE_WINDOWS, L"Показать/Скрыть");
  AppendMenuW(trayMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(trayMenu, MF_STRING, IDM_RESTART_WEB_SERVER, L"Перезапустить веб-сервер");
  if (!config.mysqlServer.empty())
    AppendMenuW(trayMenu, MF_STRING, IDM_RESTART_DATABASE, L"Перезапустить MySQL сервер");
  AppendMenuW(trayMenu, MF_STRING, IDM_ABOUT, L"О программе...");
  AppendMenuW(trayMenu, MF_STRING, IDM_EXIT, L"Выход");
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

  if (!createLogWindow(instance)) {
    showStartupError(L"Не удалось создать окно журнала.");
    destroyWindow(controlWindow);
    return 1;
  }
  showLogWindow(true);

  mapVirtualDrive();
  startDatabase();
  startWebServer();

  buildTrayMenu();
  // Drawn for the size the taskbar shows it at, not shrunk from a larger image.
  trayIconHandle = loadIconOfSize(instance, kAppIconId, smallIconSize(systemDpi()));
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
