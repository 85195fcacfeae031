#include "app/application.h"
#include "app/control_window.h"
#include "app/start_page.h"
#include "config/paths.h"
#include "orchestration/port_owner.h"
#include "process/child_process.h"
#include "win/window_visibility.h"

std::wstring Application::EffectiveWorkingDirectory() const {
  return ResolveFolderSetting(config.workingDirectory, programFolder, programFolder);
}

std::wstring Application::webServerCommand() const {
  return TrimWide(config.webServer);
}

bool Application::startServer(Server& server, WPARAM notice, const std::wstring& command, const std::wstring& folder,
                              bool hideWindow) {
  JournalLines lines;
  bool started = server.start(command, folder, hideWindow, !config.noTerminate, &lines);
  for (const JournalLine& line : lines) appendJournal(line.text, line.isError, line.isSuccess);
  // Without a wait the supervision tick looks for its end instead.
  if (started) server.watchEnd(controlWindow, WM_SERVER_ENDED, notice);
  return started;
}

void Application::startDatabase() {
  if (config.mysqlServer.empty()) return;
  // Relative program names in the command line are found from the program folder.
  SetCurrentDirectoryW(programFolder.c_str());
  std::wstring folder = ResolveFolderSetting(config.mysqlServerDirectory, programFolder, EffectiveWorkingDirectory());
  database.port = mysqlPort(config.mysqlServer);
  // Noted before the start, so all that this run writes is new; the program as the start will
  // find it, which is from the program folder, not the server's.
  bool consoleOnly = false;
  std::wstring program = startedProgramPath(config.mysqlServer, programFolder);
  std::wstring errorLog = FindMysqlErrorLog(config.mysqlServer, program, folder, &consoleOnly);
  ErrorLogMark mark = MarkMysqlErrorLog(errorLog);
  if (!startServer(database, kDatabaseNotice, config.mysqlServer, folder, true)) return;
  // The system's word on what runs beats our guess. Marking its log only now still misses
  // nothing: the server opens its log well after its process is created.
  std::wstring image;
  if (!consoleOnly && database.process.imagePath(&image)) {
    std::wstring running = FindMysqlErrorLog(config.mysqlServer, image, folder, &consoleOnly);
    if (CompareStringOrdinal(running.c_str(), -1, errorLog.c_str(), -1, TRUE) != CSTR_EQUAL) {
      mark = MarkMysqlErrorLog(running);
    }
  }
  database.showsErrorLog = !consoleOnly;
  database.errorLog = mark;
}

bool Application::startWebServer() {
  SetCurrentDirectoryW(programFolder.c_str());
  std::wstring folder = ResolveFolderSetting(config.webServerDirectory, programFolder, EffectiveWorkingDirectory());
  webServer.port = kStartPagePort;
  if (!startServer(webServer, kWebServerNotice, webServerCommand(), folder, config.startHidden)) {
    appendJournal(L"ОШИБКА: Не удалось запустить веб-сервер. Программа продолжит работу в режиме ожидания.", true,
                  false);
    return false;
  }
  processWindowsVisible = !config.startHidden;
  if (webServer.process.pid != 0) {
    HWND first = applyWindowVisibility(webServer.process.pid, processWindowsVisible);
    if (!config.startHidden && first) SetForegroundWindow(first);
  }
  return true;
}
