#include "ui/about_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/e2e_support.h"

namespace {

// The state of a Launcher with default settings and no server started, as the shell takes it.
AboutSnapshot defaultSnapshot() {
  AboutSnapshot snapshot;
  snapshot.version = L"3.2";
  snapshot.workingDirectory = L"C:\\Program Files\\Wendlor";
  snapshot.servers.resize(2);
  snapshot.servers[0].heading = L"Основной процесс:";
  snapshot.servers[0].hasWindows = true;
  snapshot.servers[0].windowsVisible = true;
  snapshot.servers[1].heading = L"MySQL процесс:";
  return snapshot;
}

bool holds(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

}  // namespace

TEST(AboutText, DefaultSettings) {
  EXPECT_EQ(
      L"ZEM Wendlor v3.2\n\n"
      L"Программа запуска и управления сервером ZEM Wendlor.\n\n"
      L"Текущая конфигурация:\n"
      L"  WebServer: httpd.exe\n"
      L"  MysqlServer: (empty)\n"
      L"  WorkingDirectory: C:\\Program Files\\Wendlor\n"
      L"  StartHidden: true\n"
      L"  SingleInstance: false\n"
      L"  NoTerminate: false\n"
      L"  CheckIntervalMs: 1000\n\n"
      L"Основной процесс:\n"
      L"  PID: 0\n"
      L"  Running: no\n"
      L"  WindowsVisible: yes\n"
      L"  Перезапусков: 0\n\n"
      L"MySQL процесс:\n"
      L"  PID: 0\n"
      L"  Running: no\n"
      L"  Перезапусков: 0\n\n"
      L"Управление:\n"
      L"  ПКМ по иконке — меню\n"
      L"  Двойной клик ЛКМ — Показать/Скрыть окна\n\n"
      L"Поддержка клиентов:\n"
      L"  по телефону: +7 (800) 555-01-23\n"
      L"  на сайте:    https://wendlor.example\n"
      L"  по E-mail:   info@wendlor.example\n\n",
      aboutText(defaultSnapshot()));
}

TEST(AboutText, WarningSettingsAndRunningServers) {
  AboutSnapshot snapshot = defaultSnapshot();
  snapshot.configWarning = L"Параметр WebServer пуст";
  snapshot.config.webServer.clear();
  snapshot.config.mysqlServer = L"bin\\mysqld.exe --console";
  snapshot.config.startHidden = false;
  snapshot.config.singleInstance = true;
  snapshot.config.checkIntervalMs = 4294967295u;
  AboutServer& web = snapshot.servers[0];
  web.pid = 4321;
  web.running = true;
  web.windowsVisible = false;
  web.restarts = 2;
  web.inJob = true;
  snapshot.servers[1].pid = 99;  // ended: the database still named by its last process
  std::wstring text = aboutText(snapshot);

  EXPECT_TRUE(holds(text,
                    L"ZEM Wendlor v3.2\n\nПрограмма запуска и управления сервером ZEM Wendlor.\n\n"
                    L"Предупреждение конфигурации:\nПараметр WebServer пуст\n\nТекущая конфигурация:\n"))
      << e2e::toUtf8(text);
  EXPECT_TRUE(holds(text, L"\n  WebServer: (empty)\n  MysqlServer: bin\\mysqld.exe --console\n"));
  EXPECT_TRUE(holds(text,
                    L"\n  StartHidden: false\n  SingleInstance: true\n  NoTerminate: false\n"
                    L"  CheckIntervalMs: 4294967295\n\n"));
  EXPECT_TRUE(holds(text,
                    L"Основной процесс:\n  PID: 4321\n  Running: yes\n  WindowsVisible: no\n"
                    L"  Перезапусков: 2\n  EndsWithLauncher: yes\n\nMySQL процесс:\n"))
      << e2e::toUtf8(text);
  EXPECT_TRUE(holds(text, L"MySQL процесс:\n  PID: 99\n  Running: no\n  Перезапусков: 0\n  EndsWithLauncher: no\n\n"));
  EXPECT_FALSE(holds(text, L"\r"));

  // With NoTerminate the servers are kept whatever happens: nothing to say of their end.
  snapshot.config.noTerminate = true;
  text = aboutText(snapshot);
  EXPECT_TRUE(holds(text, L"  NoTerminate: true\n"));
  EXPECT_FALSE(holds(text, L"EndsWithLauncher"));
}
