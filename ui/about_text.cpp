#include "app/application.h"
#include "config/support_contacts.h"
#include "resources/version.h"

namespace {

const wchar_t* trueFalse(bool value) {
  return value ? L"true" : L"false";
}
const wchar_t* yesNo(bool value) {
  return value ? L"yes" : L"no";
}
std::wstring orEmpty(const std::wstring& value) {
  return value.empty() ? std::wstring(L"(empty)") : value;
}

}  // namespace

// How often a server was restarted, and whether it ends with the Launcher should the Launcher die:
// not where the job the Launcher itself runs in forbids a job of its own (nothing to say with
// NoTerminate, which wants the servers kept).
std::wstring Application::serverStateText(const Server& server) const {
  std::wstring text = L"  Перезапусков: " + std::to_wstring(server.restarts()) + L"\n";
  if (!config.noTerminate && server.process.pid != 0) {
    text += std::wstring(L"  EndsWithLauncher: ") + yesNo(server.process.inJob) + L"\n";
  }
  return text;
}

// Read fresh at each showing: the settings in effect and whether the servers still run.
std::wstring Application::buildAboutText() const {
  std::wstring text;
  text += L"ZEM Wendlor";
  text += L" v";
  text += WENDLOR_VERSION_SHORT;
  text += L"\n\n";
  text += L"Программа запуска и управления сервером ZEM Wendlor.\n\n";
  if (!configWarning.empty()) {
    text += L"Предупреждение конфигурации:\n";
    text += configWarning;
    text += L"\n\n";
  }
  text += L"Текущая конфигурация:\n";
  text += L"  WebServer: " + orEmpty(config.webServer) + L"\n";
  text += L"  MysqlServer: " + orEmpty(config.mysqlServer) + L"\n";
  text += L"  WorkingDirectory: " + EffectiveWorkingDirectory() + L"\n";
  text += std::wstring(L"  StartHidden: ") + trueFalse(config.startHidden) + L"\n";
  text += std::wstring(L"  SingleInstance: ") + trueFalse(config.singleInstance) + L"\n";
  text += std::wstring(L"  NoTerminate: ") + trueFalse(config.noTerminate) + L"\n";
  text += L"  CheckIntervalMs: " + std::to_wstring(config.checkIntervalMs) + L"\n\n";
  text += L"Основной процесс:\n";
  text += L"  PID: " + std::to_wstring(webServer.process.pid) + L"\n";
  text += std::wstring(L"  Running: ") + yesNo(webServer.process.isRunning()) + L"\n";
  text += std::wstring(L"  WindowsVisible: ") + yesNo(processWindowsVisible) + L"\n";
  text += serverStateText(webServer) + L"\n";
  text += L"MySQL процесс:\n";
  text += L"  PID: " + std::to_wstring(database.process.pid) + L"\n";
  text += std::wstring(L"  Running: ") + yesNo(database.process.isRunning()) + L"\n";
  text += serverStateText(database) + L"\n";
  text += L"Управление:\n";
  text += L"  ПКМ по иконке — меню\n";
  text += L"  Двойной клик ЛКМ — Показать/Скрыть окна\n\n";
  text += L"Поддержка клиентов:\n";
  text += std::wstring(L"  по телефону: ") + kSupportPhone + L"\n";
  text += std::wstring(L"  на сайте:    ") + kSupportWebsite + L"\n";
  text += std::wstring(L"  по E-mail:   ") + kInfoEmail + L"\n\n";
  return text;
}
