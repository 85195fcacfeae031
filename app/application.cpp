#include "app/application.h"

#include "app/control_window.h"
#include "app/drive_mapping.h"
#include "app/single_instance.h"
#include "app/start_page.h"
#include "config/paths.h"
#include "win/handles.h"

int Application::run(HINSTANCE moduleInstance) {
  instance = moduleInstance;
  programFolder = GetProgramFolder();
  startupFolder = GetCurrentFolder();
  config = LoadConfig(programFolder, &configWarning);

  if (config.singleInstance && !acquireSingleInstance(&instanceMutex)) {
    openStartPage();
    return 1;
  }

  if (!createControlWindow()) return 1;
  // Told of logoff and shutdown before the servers' consoles are, so they can be stopped cleanly.
  SetProcessShutdownParameters(kShutdownLevel, 0);

  if (!logWindow.create(instance, controlWindow)) {
    showStartupError(L"Не удалось создать окно журнала.");
    release();
    return 1;
  }
  logWindow.show();

  showLines(mapVirtualDrive(config.substDrive, startupFolder));
  startServers();

  if (!addTrayIcon()) {
    logWindow.append(L"ОШИБКА: Не удалось создать иконку в трее.", true, false);
    showStartupError(L"Не удалось создать иконку в трее. Для завершения программы закройте это окно.");
    logWindow.show();
  }

  SetTimer(controlWindow, TIMER_SUPERVISE, config.checkIntervalMs, nullptr);
  logWindow.append(L"Подождите...", false, false);

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

  release();
  return exitCode;
}

void Application::startServers() {
  stack.configure(config, programFolder, kServerKinds, kServerKindCount);
  stack.noticeWindow = controlWindow;
  stack.endMessage = WM_SERVER_ENDED;
  stack.probeMessage = WM_START_PAGE_PROBE;
  show(stack.startAll());
}

void Application::showLines(const JournalLines& lines) {
  for (const JournalLine& line : lines) logWindow.append(line.text, line.isError, line.isSuccess);
}

void Application::show(const StackReport& report) {
  showLines(report.lines);
  if (report.attention) {
    if (!logWindow.visible) logWindow.show();
    if (report.balloon && tray.added) tray.showBalloon(kTrayTip, report.balloon);
  }
  if (report.openStartPage) openStartPage();
  if (report.allStarted) {
    if (tray.added && !report.journalStays) {
      logWindow.append(L"Все процессы успешно запущены. Окно журнала скрыто.", false, true);
      logWindow.hide();
    } else {
      // Left on screen: without the tray icon there would be no way back to it, and what the
      // start page answered is to be read.
      logWindow.append(L"Все процессы успешно запущены.", false, true);
    }
  }
  showLines(report.afterAllStarted);
  if (report.quit) PostQuitMessage(0);
  followStack();
}

void Application::followStack() {
  if (!controlWindow) return;
  if (stack.needsFastTick()) {
    SetTimer(controlWindow, TIMER_FAST_TICK, kFastTickMs, nullptr);
  } else {
    KillTimer(controlWindow, TIMER_FAST_TICK);
  }
}

// A database killed mid-write can leave its tables damaged: Exit asks it to shut down and gives it
// a bounded time before it is ended by force. That time is spent in the message loop, so the
// windows and the tray icon keep answering meanwhile.
void Application::requestExit(StopReason reason) {
  show(stack.stop(reason));
}

void Application::exitFromLogWindow() {
  if (stack.exiting()) return;
  logWindow.append(L"Завершение работы программы...", false, false);
  requestExit(StopReason::StopAndExit);
}

// Logoff and shutdown end the servers' consoles too, and a database ended that way dies
// mid-write. Windows asks us before them (the shutdown level set at start-up), and our answer to
// the session's end waits until the servers have been stopped.
BOOL Application::onQueryEndSession() {
  if (stack.serversToStop()) holdSessionEnd();
  return TRUE;
}

void Application::onEndSession(bool ending, LPARAM reasons) {
  if (!ending) {
    // The logoff was cancelled: the Launcher again leaves nothing behind should it die.
    clearShutdownBlockReason();
    stack.rearmJobs();
    return;
  }
  // An installer or an update needs the program's files: it must end, as Exit ends it.
  if (reasons & ENDSESSION_CLOSEAPP) {
    requestExit(StopReason::StopAndExit);
    return;
  }
  // A forced shutdown sends no query first.
  if (stack.serversToStop()) holdSessionEnd();
  show(stack.stop(StopReason::SessionEnd));
  clearShutdownBlockReason();
}

// Windows soon ends a program that holds up the session's end without a visible window, and the
// servers' jobs would then end them in the middle of their shutdown. So the servers no longer end
// with the Launcher, and the Journal comes on screen, without the focus, with the reason.
void Application::holdSessionEnd() {
  stack.releaseJobs();
  if (logWindow.window && !logWindow.visible) logWindow.show(false);
  setShutdownBlockReason();
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

void Application::release() {
  clearShutdownBlockReason();
  if (controlWindow) {
    KillTimer(controlWindow, TIMER_SUPERVISE);
    KillTimer(controlWindow, TIMER_FAST_TICK);
    KillTimer(controlWindow, TIMER_TRAY_RETRY);
  }
  tray.release();
  stack.release();
  destroyWindow(controlWindow);
  logWindow.destroy();
  closeHandle(instanceMutex);
}
