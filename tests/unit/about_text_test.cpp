#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/application.h"

namespace {

const std::wstring kHead =
    L"ZEM Wendlor v3.2\n\n"
    L"Программа запуска и управления сервером ZEM Wendlor.\n\n";
const std::wstring kTail =
    L"Управление:\n"
    L"  ПКМ по иконке — меню\n"
    L"  Двойной клик ЛКМ — Показать/Скрыть окна\n\n"
    L"Поддержка клиентов:\n"
    L"  по телефону: +7 (800) 555-01-23\n"
    L"  на сайте:    https://wendlor.example\n"
    L"  по E-mail:   info@wendlor.example\n\n";

}  // namespace

TEST(AboutText, DefaultSettings) {
  Application app;
  app.programFolder = L"C:\\Program Files\\Wendlor";
  EXPECT_EQ(kHead +
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
                L"  Перезапусков: 0\n\n" +
                kTail,
            app.buildAboutText());
}

TEST(AboutText, WarningDatabaseAndFlags) {
  Application app;
  app.programFolder = L"D:\\W";
  app.configWarning = L"Параметр WebServer пуст";
  app.config.mysqlServer = L"bin\\mysqld.exe --console";
  app.config.workingDirectory = L"srv";
  app.config.startHidden = false;
  app.config.singleInstance = true;
  app.config.noTerminate = true;
  app.config.checkIntervalMs = 4294967295u;
  app.processWindowsVisible = false;
  // The web server record of a child that still runs: this very process.
  app.webServer.process.pid = GetCurrentProcessId();
  app.webServer.process.process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, app.webServer.process.pid);
  ASSERT_NE(nullptr, app.webServer.process.process);
  std::wstring pid = std::to_wstring(GetCurrentProcessId());
  std::wstring text = app.buildAboutText();
  CloseHandle(app.webServer.process.process);
  app.webServer.process.process = nullptr;
  app.webServer.process.pid = 0;

  EXPECT_EQ(kHead +
                L"Предупреждение конфигурации:\n"
                L"Параметр WebServer пуст\n\n"
                L"Текущая конфигурация:\n"
                L"  WebServer: httpd.exe\n"
                L"  MysqlServer: bin\\mysqld.exe --console\n"
                L"  WorkingDirectory: D:\\W\\srv\n"
                L"  StartHidden: false\n"
                L"  SingleInstance: true\n"
                L"  NoTerminate: true\n"
                L"  CheckIntervalMs: 4294967295\n\n"
                L"Основной процесс:\n"
                L"  PID: " +
                pid +
                L"\n"
                L"  Running: yes\n"
                L"  WindowsVisible: no\n"
                L"  Перезапусков: 0\n\n"
                L"MySQL процесс:\n"
                L"  PID: 0\n"
                L"  Running: no\n"
                L"  Перезапусков: 0\n\n" +
                kTail,
            text);
  EXPECT_EQ(std::wstring::npos, text.find(L'\r'));
}

TEST(AboutText, EmptyWebServerShowsEmptyAndDotShowsTheProgramFolder) {
  Application app;
  app.programFolder = L"E:\\Прог";
  app.config.webServer.clear();
  app.config.workingDirectory = L" . ";
  std::wstring text = app.buildAboutText();
  EXPECT_NE(std::wstring::npos, text.find(L"\n  WebServer: (empty)\n  MysqlServer: (empty)\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"\n  WorkingDirectory: E:\\Прог\n"));
}
