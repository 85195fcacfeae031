#include "orchestration/supervision.h"

#include <cwchar>

#include "app/application.h"
#include "app/control_window.h"
#include "app/start_page.h"
#include "orchestration/port_owner.h"
#include "process/output_capture.h"
#include "ui/window_visibility.h"

namespace {

ULONGLONG fileTimeValue(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

constexpr ULONGLONG kFileTimeUnitsPerMs = 10000;

std::wstring exitCodeLine(DWORD exitCode) {
  return L"Код завершения: " + std::to_wstring(exitCode);
}

void appendOutputEntry(std::vector<std::wstring>& lines, const std::wstring& out, const std::wstring& err) {
  std::wstring text = reportStreams(out, err);
  if (!text.empty()) lines.push_back(L"Вывод консоли:\r\n" + text);
}

}  // namespace

ULONGLONG lifetimeMs(const FILETIME& created, const FILETIME& exited) {
  ULONGLONG from = fileTimeValue(created);
  ULONGLONG to = fileTimeValue(exited);
  return to > from ? (to - from) / kFileTimeUnitsPerMs : 0;
}

ULONGLONG endedProcessLifetimeMs(HANDLE process, DWORD startTick, DWORD now) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (process && GetProcessTimes(process, &created, &exited, &kernel, &user) && fileTimeValue(exited) != 0) {
    return lifetimeMs(created, exited);
  }
  return ticksSince(now, startTick);
}

std::wstring uptimeText(ULONGLONG ms) {
  ULONGLONG seconds = ms / 1000;
  wchar_t text[32];
  swprintf(text, 32, L"%02llu:%02llu:%02llu", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

std::wstring trimConsoleOutput(const std::wstring& output) {
  size_t end = output.find_last_not_of(L"\r\n ");
  return end == std::wstring::npos ? std::wstring() : output.substr(0, end + 1);
}

std::wstring reportOutput(const std::wstring& trimmed, size_t limit) {
  if (trimmed.size() <= limit) return trimmed;
  size_t begin = trimmed.size() - limit;
  // Start at a whole line when one starts inside the kept part; the end, where a server says
  // why it stopped, is always kept.
  size_t lineBreak = trimmed.find_first_of(L"\r\n", begin > 0 ? begin - 1 : 0);
  if (lineBreak != std::wstring::npos) {
    size_t next = trimmed.find_first_not_of(L"\r\n", lineBreak);
    if (next != std::wstring::npos) begin = next;
  }
  return kOutputCutNote + trimmed.substr(begin);
}

std::wstring reportStreams(const std::wstring& out, const std::wstring& err, size_t limit) {
  // Blanks at the end of standard output part it from standard error; only the very end is trimmed.
  std::wstring errText = trimConsoleOutput(err);
  std::wstring outText = errText.empty() ? trimConsoleOutput(out) : out;
  // Each stream's end is where a server says why it stopped, so neither may crowd out the other's.
  size_t outLimit = limit;
  size_t errLimit = limit;
  if (outText.size() + errText.size() > limit) {
    size_t half = limit / 2;
    outLimit = errText.size() < half ? limit - errText.size() : half;
    errLimit = outText.size() < half ? limit - outText.size() : limit - half;
  }
  std::wstring text = reportOutput(outText, outLimit);
  if (errText.size() > errLimit && !text.empty() && text.back() != L'\n' && text.back() != L'\r') text += L"\r\n";
  return text + reportOutput(errText, errLimit);
}

std::vector<std::wstring> webServerExitReport(DWORD exitCode, const std::wstring& out, const std::wstring& err) {
  std::vector<std::wstring> lines;
  lines.push_back(L"ОШИБКА: Веб-сервер неожиданно закрылся!");
  if (exitCode != 0) lines.push_back(exitCodeLine(exitCode));
  appendOutputEntry(lines, out, err);
  return lines;
}

std::vector<std::wstring> webServerStoppedReport(DWORD pid, ULONGLONG lifetime, DWORD exitCode, const std::wstring& out,
                                                 const std::wstring& err) {
  std::vector<std::wstring> lines;
  lines.push_back(L"ОШИБКА: Веб-сервер остановился (PID: " + std::to_wstring(pid) + L"). Время работы: " +
                  uptimeText(lifetime));
  if (exitCode != 0) lines.push_back(exitCodeLine(exitCode));
  appendOutputEntry(lines, out, err);
  return lines;
}

std::vector<std::wstring> databaseStoppedReport(DWORD pid, ULONGLONG lifetime, DWORD exitCode) {
  std::vector<std::wstring> lines;
  lines.push_back(L"ОШИБКА: MySQL сервер остановился (PID: " + std::to_wstring(pid) + L"). Время работы: " +
                  uptimeText(lifetime) + L". Проверьте лог-файл");
  if (exitCode != 0) lines.push_back(exitCodeLine(exitCode));
  return lines;
}

void Application::superviseDatabase(DWORD now) {
  if (!databaseProcess.process || databaseStartTick == 0 || databaseExitReported || serversStopping ||
      databaseProcess.isRunning()) {
    return;
  }
  databaseExitReported = true;
  ULONGLONG lifetime = endedProcessLifetimeMs(databaseProcess.process, databaseStartTick, now);
  if (lifetime < kEarlyExitWindowMs) {
    appendJournal(L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл", true, false);
    reportPortOwner(mysqlPort(config.mysqlServer));
    callAttention(nullptr);
    return;
  }
  for (const std::wstring& line : databaseStoppedReport(databaseProcess.pid, lifetime, databaseProcess.exitCode())) {
    appendJournal(line, true, false);
  }
  reportPortOwner(mysqlPort(config.mysqlServer));
  callAttention(L"MySQL сервер остановился. Подробности в журнале.");
}

void Application::superviseWebServer(DWORD now) {
  if (!webServerProcess.process || webStartTick == 0 || webExitReported || serversStopping ||
      webServerProcess.isRunning()) {
    return;
  }
  webExitReported = true;
  // A start page that might still open would promise a site that is gone.
  if (startPageProbing) endStartPageProbe();
  allStartedPending = false;
  WaitForSingleObject(webServerProcess.process, kExitWaitMs);
  DWORD code = webServerProcess.exitCode();
  webServerProcess.readOutput();
  std::wstring out = webServerProcess.streamText(kStandardOutput);
  std::wstring err = webServerProcess.streamText(kStandardError);
  ULONGLONG lifetime = endedProcessLifetimeMs(webServerProcess.process, webStartTick, now);
  bool early = lifetime < kEarlyExitWindowMs;
  std::vector<std::wstring> lines = early ? webServerExitReport(code, out, err)
                                          : webServerStoppedReport(webServerProcess.pid, lifetime, code, out, err);
  for (const std::wstring& line : lines) appendJournal(line, true, false);
  reportPortOwner(kStartPagePort);
  callAttention(early ? nullptr : L"Веб-сервер остановился. Подробности в журнале.");
}

void Application::callAttention(const wchar_t* balloonText) {
  if (logWindow && !logWindowVisible) showLogWindow(true);
  if (balloonText && trayAdded) tray.showBalloon(kTrayTip, balloonText);
}

void Application::announceAllStarted() {
  allStartedPending = false;
  if (!trayAdded) {
    // Left on screen: without the tray icon there would be no way back to it.
    appendJournal(L"Все процессы успешно запущены.", false, true);
    return;
  }
  appendJournal(L"Все процессы успешно запущены. Окно журнала скрыто.", false, true);
  if (logWindow) hideLogWindow();
}

void Application::supervise() {
  DWORD now = GetTickCount();
  superviseDatabase(now);
  superviseWebServer(now);

  if (!allStartedReported && !serversStopping && pastAllStartedDelay(now, webStartTick) && webServerProcess.process &&
      webServerProcess.isRunning() && databaseProcess.process && databaseProcess.isRunning()) {
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
    if (webServerProcess.pid != 0) applyWindowVisibility(webServerProcess.pid, processWindowsVisible);
    ++visibilityPasses;
  }
}
