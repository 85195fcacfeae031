#include "ui/about_text.h"

#include "config/support_contacts.h"

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

// How often a server was restarted, and whether it ends with the Launcher should the Launcher die:
// not where the job the Launcher itself runs in forbids a job of its own (nothing to say with
// NoTerminate, which wants the servers kept).
std::wstring serverText(const AboutServer& server, const LauncherConfig& config) {
  std::wstring text = server.heading + L"\n";
  text += L"  PID: " + std::to_wstring(server.pid) + L"\n";
  text += std::wstring(L"  Running: ") + yesNo(server.running) + L"\n";
  if (server.hasWindows) text += std::wstring(L"  WindowsVisible: ") + yesNo(server.windowsVisible) + L"\n";
  text += L"  Перезапусков: " + std::to_wstring(server.restarts) + L"\n";
  if (!config.noTerminate && server.pid != 0) {
    text += std::wstring(L"  EndsWithLauncher: ") + yesNo(server.inJob) + L"\n";
  }
  return text + L"\n";
}

}  // namespace

std::wstring aboutText(const AboutSnapshot& snapshot) {
  const LauncherConfig& config = snapshot.config;
  std::wstring text;
  text += L"ZEM Wendlor";
  text += L" v";
  text += snapshot.version;
  text += L"\n\n";
  text += L"Программа запуска и управления сервером ZEM Wendlor.\n\n";
  if (!snapshot.configWarning.empty()) {
    text += L"Предупреждение конфигурации:\n";
    text += snapshot.configWarning;
    text += L"\n\n";
  }
  text += L"Текущая конфигурация:\n";
  text += L"  WebServer: " + orEmpty(config.webServer) + L"\n";
  text += L"  MysqlServer: " + orEmpty(config.mysqlServer) + L"\n";
  text += L"  WorkingDirectory: " + snapshot.workingDirectory + L"\n";
  text += std::wstring(L"  StartHidden: ") + trueFalse(config.startHidden) + L"\n";
  text += std::wstring(L"  SingleInstance: ") + trueFalse(config.singleInstance) + L"\n";
  text += std::wstring(L"  NoTerminate: ") + trueFalse(config.noTerminate) + L"\n";
  text += L"  CheckIntervalMs: " + std::to_wstring(config.checkIntervalMs) + L"\n\n";
  for (const AboutServer& server : snapshot.servers) text += serverText(server, config);
  text += L"Управление:\n";
  text += L"  ПКМ по иконке — меню\n";
  text += L"  Двойной клик ЛКМ — Показать/Скрыть окна\n\n";
  text += L"Поддержка клиентов:\n";
  text += std::wstring(L"  по телефону: ") + kSupportPhone + L"\n";
  text += std::wstring(L"  на сайте:    ") + kSupportWebsite + L"\n";
  text += std::wstring(L"  по E-mail:   ") + kInfoEmail + L"\n\n";
  return text;
}
