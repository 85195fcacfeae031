#include "app/application.h"
#include "config/paths.h"
#include "ui/window_visibility.h"

std::wstring Application::EffectiveWorkingDirectory() const {
  return ResolveFolderSetting(config.workingDirectory, programFolder, programFolder);
}

std::wstring Application::webServerCommand() const {
  return TrimWide(config.webServer);
}

void Application::startDatabase() {
  if (config.mysqlServer.empty()) return;
  // Relative program names in the command line are found from the program folder.
  SetCurrentDirectoryW(programFolder.c_str());
  std::wstring folder = ResolveFolderSetting(config.mysqlServerDirectory, programFolder, EffectiveWorkingDirectory());
  const std::wstring& command = config.mysqlServer;
  appendJournal(L"Запуск базы данных MySQL: " + command, false, false);
  std::wstring error;
  if (!databaseProcess.start(command, folder, true, &error, false, &serverJob)) {
    appendJournal(L"ОШИБКА запуска MySQL: " + error, true, false);
    return;
  }
  appendJournal(L"База данных успешно запущена (PID: " + std::to_wstring(databaseProcess.pid) + L")", false, true);
  databaseStartTick = GetTickCount();
}

bool Application::startWebServer() {
  SetCurrentDirectoryW(programFolder.c_str());
  std::wstring folder = ResolveFolderSetting(config.webServerDirectory, programFolder, EffectiveWorkingDirectory());
  std::wstring command = webServerCommand();
  appendJournal(L"Запуск веб-сервера: " + command, false, false);
  std::wstring error;
  if (!webServerProcess.start(command, folder, config.startHidden, &error, true, &serverJob)) {
    appendJournal(L"ОШИБКА запуска веб-сервера: " + error, true, false);
    return false;
  }
  appendJournal(L"Веб-сервер успешно запущен (PID: " + std::to_wstring(webServerProcess.pid) + L")", false, true);
  processWindowsVisible = !config.startHidden;
  webStartTick = GetTickCount();
  if (webServerProcess.pid != 0) {
    HWND first = applyWindowVisibility(webServerProcess.pid, processWindowsVisible);
    if (!config.startHidden && first) SetForegroundWindow(first);
  }
  return true;
}
