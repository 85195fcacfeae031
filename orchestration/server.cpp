#include "orchestration/server.h"

#include <cwchar>

#include "orchestration/exit_reason.h"
#include "orchestration/start_failure.h"
#include "process/output_capture.h"
#include "process/shutdown_event.h"
#include "win/handles.h"

const ServerKind kWebServerKind = {
    L"Веб-сервер",
    L"Запуск веб-сервера: ",
    L"ОШИБКА запуска веб-сервера: ",
    L"ОШИБКА: Не удалось запустить веб-сервер. Программа продолжит работу в режиме ожидания.",
    L"Веб-сервер успешно запущен (PID: ",
    L"ОШИБКА: Веб-сервер неожиданно закрылся!",
    L"ОШИБКА: Веб-сервер остановился (PID: ",
    L"",
    L"Веб-сервер остановился. Подробности в журнале.",
    nullptr,
    L"Перезапуск веб-сервера...",
    L"ОШИБКА: Не удалось передать Ctrl+C веб-серверу, он завершён принудительно.",
    L"Основной процесс:",
    &LauncherConfig::webServer,
    &LauncherConfig::webServerDirectory,
    false,                // optional
    true,                 // earlyReportGivesExitCode
    false,                // stopsByEvent
    false,                // exitWaits
    true,                 // ownsWindows
    true,                 // servesStartPage
    PortRule::StartPage,  // port
    ErrorLogRule::Httpd,  // errorLog
};

const ServerKind kDatabaseKind = {
    L"MySQL сервер",
    L"Запуск базы данных MySQL: ",
    L"ОШИБКА запуска MySQL: ",
    nullptr,
    L"База данных успешно запущена (PID: ",
    L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл",
    L"ОШИБКА: MySQL сервер остановился (PID: ",
    L". Проверьте лог-файл",
    L"MySQL сервер остановился. Подробности в журнале.",
    L"Остановка MySQL сервера...",
    L"Перезапуск MySQL сервера...",
    L"ОШИБКА: Не удалось передать Ctrl+C MySQL серверу, он завершён принудительно.",
    L"MySQL процесс:",
    &LauncherConfig::mysqlServer,
    &LauncherConfig::mysqlServerDirectory,
    true,                    // optional
    false,                   // earlyReportGivesExitCode
    true,                    // stopsByEvent
    true,                    // exitWaits
    false,                   // ownsWindows
    false,                   // servesStartPage
    PortRule::MysqlOptions,  // port
    ErrorLogRule::Mysql,     // errorLog
};

namespace {

ULONGLONG fileTimeValue(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

constexpr ULONGLONG kFileTimeUnitsPerMs = 10000;

// "Код завершения: <n>" and the lines that tell what the code means.
void appendExitCode(std::vector<std::wstring>& lines, DWORD exitCode, const std::wstring& programPath,
                    const std::wstring& folder) {
  lines.push_back(L"Код завершения: " + std::to_wstring(exitCode));
  for (std::wstring& line : exitReasonLines(exitCode, programPath, folder)) lines.push_back(line);
}

void appendOutputEntry(std::vector<std::wstring>& lines, const std::wstring& out, const std::wstring& err) {
  std::wstring text = reportStreams(out, err);
  if (!text.empty()) lines.push_back(L"Вывод консоли:\r\n" + text);
}

// Runs on a thread of the system's pool: only posts, so the notice is handled on the window's
// thread, also inside a message box or a tracked menu.
VOID CALLBACK onProcessEnded(PVOID context, BOOLEAN) {
  auto* server = static_cast<Server*>(context);
  PostMessageW(server->noticeWindow, server->noticeMessage, server->noticeId, static_cast<LPARAM>(server->startCount));
}

}  // namespace

bool Server::start(const std::wstring& command, const std::wstring& folder, bool hideWindow, bool inJob,
                   JournalLines* lines) {
  close();
  ++startCount;
  forced = false;
  shutdownEventSet = false;
  lines->push_back({kind->startingLine + command, false, false});
  this->folder = folder;
  // A job of its own for each start: the last start's tree has ended by now. Without one (the
  // system refuses it) the server is the process started alone, as it was before jobs.
  job.close();
  if (inJob) job.create();
  StartFailure failure;
  if (!process.start({command, folder, hideWindow, job.job ? &job : nullptr}, &failure)) {
    state = ServerState::NotStarted;
    lines->push_back({kind->startFailedPrefix + startFailureText(failure, command, folder), true, false});
    return false;
  }
  lines->push_back({kind->startedPrefix + std::to_wstring(process.pid) + L")", false, true});
  startTick = GetTickCount();
  state = ServerState::Running;
  return true;
}

bool Server::running() const {
  if (process.isRunning()) return true;
  if (!process.inJob) return false;
  HANDLE member = job.openRunningProcess();
  bool any = member != nullptr;
  closeHandle(member);
  return any;
}

bool Server::askToStop() {
  shutdownEventSet = kind->stopsByEvent && signalShutdownEvent(process.pid);
  return shutdownEventSet || process.sendCtrlC();
}

void Server::retryShutdownEvent() {
  if (awaitsShutdownEvent()) shutdownEventSet = signalShutdownEvent(process.pid);
}

void Server::terminateTree() {
  if (process.inJob) {
    job.terminateTree(process.process, process.pid, 0);
  } else {
    process.terminate(0);
  }
}

bool Server::watchEnd(HWND window, UINT message, WPARAM id) {
  unwatch();
  if (!process.process || !window) return false;
  noticeWindow = window;
  noticeMessage = message;
  noticeId = id;
  HANDLE target = process.process;
  if (!process.isRunning()) {
    treeMember = process.inJob ? job.openRunningProcess() : nullptr;
    if (!treeMember) return false;
    target = treeMember;
  }
  HANDLE wait = nullptr;
  if (!RegisterWaitForSingleObject(&wait, target, onProcessEnded, this, INFINITE, WT_EXECUTEONLYONCE)) {
    closeHandle(treeMember);
    return false;
  }
  endWait = wait;
  return true;
}

void Server::unwatch() {
  if (endWait) {
    // INVALID_HANDLE_VALUE: returns only once a callback that is running has finished, so the
    // process handle and this record outlive every use the callback makes of them.
    UnregisterWaitEx(endWait, INVALID_HANDLE_VALUE);
    endWait = nullptr;
  }
  closeHandle(treeMember);
}

JournalLines Server::endReport(DWORD now, bool* early) {
  state = ServerState::Ended;
  WaitForSingleObject(process.process, kExitWaitMs);
  DWORD code = process.exitCode();
  process.readOutput();
  std::wstring out = process.streamText(kStandardOutput);
  std::wstring err = process.streamText(kStandardError);
  ULONGLONG lifetime = endedProcessLifetimeMs(process.process, startTick, now);
  *early = lifetime < kEarlyExitWindowMs;
  std::vector<std::wstring> reportTexts =
      *early ? earlyExitReport(*kind, code, out, err, programPath, folder)
             : stoppedReport(*kind, process.pid, lifetime, code, out, err, programPath, folder);
  JournalLines lines;
  for (const std::wstring& text : reportTexts) lines.push_back({text, true, false});
  return lines;
}

void Server::close() {
  unwatch();
  process.close();
}

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

std::wstring stopBoundLine(const ServerKind& kind, DWORD boundMs) {
  return L"ОШИБКА: " + std::wstring(kind.name) + L" не остановился за " + std::to_wstring(boundMs / 1000) +
         L" секунд и был завершён принудительно.";
}

std::vector<std::wstring> earlyExitReport(const ServerKind& kind, DWORD exitCode, const std::wstring& out,
                                          const std::wstring& err, const std::wstring& programPath,
                                          const std::wstring& folder) {
  std::vector<std::wstring> lines;
  lines.push_back(kind.earlyExitLine);
  if (kind.earlyReportGivesExitCode && exitCode != 0) appendExitCode(lines, exitCode, programPath, folder);
  appendOutputEntry(lines, out, err);
  return lines;
}

std::vector<std::wstring> stoppedReport(const ServerKind& kind, DWORD pid, ULONGLONG lifetime, DWORD exitCode,
                                        const std::wstring& out, const std::wstring& err,
                                        const std::wstring& programPath, const std::wstring& folder) {
  std::vector<std::wstring> lines;
  lines.push_back(kind.stoppedPrefix + std::to_wstring(pid) + L"). Время работы: " + uptimeText(lifetime) +
                  kind.stoppedSuffix);
  if (exitCode != 0) appendExitCode(lines, exitCode, programPath, folder);
  appendOutputEntry(lines, out, err);
  return lines;
}
