#include "orchestration/supervision.h"

#include "app/application.h"
#include "app/control_window.h"
#include "app/start_page.h"
#include "ui/window_visibility.h"

std::wstring trimConsoleOutput(const std::wstring& output) {
  size_t end = output.find_last_not_of(L"\r\n ");
  return end == std::wstring::npos ? std::wstring() : output.substr(0, end + 1);
}

std::vector<std::wstring> webServerExitReport(DWORD exitCode, const std::wstring& output) {
  std::vector<std::wstring> lines;
  lines.push_back(L"ОШИБКА: Веб-сервер неожиданно закрылся!");
  if (exitCode != 0) lines.push_back(L"Код завершения: " + std::to_wstring(exitCode));
  std::wstring text = trimConsoleOutput(output);
  if (!text.empty()) lines.push_back(L"Вывод консоли:\r\n" + text);
  return lines;
}

void Application::supervise() {
  if (databaseProcess.process && !databaseProcess.isRunning() && databaseStartTick != 0 && !databaseExitReported &&
      withinEarlyExitWindow(GetTickCount(), databaseStartTick)) {
    databaseExitReported = true;
    appendJournal(L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл", true, false);
  }

  DWORD now = GetTickCount();
  if (webServerProcess.process && !webServerProcess.isRunning() && webStartTick != 0 && !webExitReported &&
      withinEarlyExitWindow(now, webStartTick)) {
    webExitReported = true;
    WaitForSingleObject(webServerProcess.process, kExitWaitMs);
    DWORD code = webServerProcess.exitCode();
    std::wstring output = webServerProcess.readOutput();
    for (const std::wstring& line : webServerExitReport(code, output)) appendJournal(line, true, false);
  }

  if (!allStartedReported && pastAllStartedDelay(now, webStartTick) && webServerProcess.process &&
      webServerProcess.isRunning() && databaseProcess.process && databaseProcess.isRunning()) {
    if (config.openBrowser && !browserOpened) {
      browserOpened = true;
      appendJournal(L"Запуск браузера...", false, false);
      openStartPage();
    }
    allStartedReported = true;
    appendJournal(L"Все процессы успешно запущены. Окно журнала скрыто.", false, true);
    if (logWindow) hideLogWindow();
  }

  if (visibilityPasses >= kVisibilityPasses) {
    KillTimer(controlWindow, TIMER_STARTUP);
  } else {
    if (webServerProcess.pid != 0) applyWindowVisibility(webServerProcess.pid, processWindowsVisible);
    ++visibilityPasses;
  }
}
