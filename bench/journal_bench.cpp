// Cost of the Journal and of reading the settings, each as a ratio against a baseline measured
// in the same run: a plain rich edit insert without stamp, colour or scrolling, and a bare read
// of the same settings file.

#include <windows.h>
#include <richedit.h>

#include <cstdio>
#include <string>

#include "bench/measure.h"
#include "config/launcher_config.h"
#include "ui/log_window.h"

namespace {

std::wstring lineText(int i) {
  return L"Запуск веб-сервера: httpd.exe -f conf\\httpd.conf, попытка " + std::to_wstring(i);
}

}  // namespace

int wmain() {
  const int lines = 5000;
  LogWindow log;
  if (!log.create(GetModuleHandleW(nullptr), nullptr)) return 1;

  HWND plain = CreateWindowExW(0, L"RICHEDIT50W", L"", WS_CHILD | ES_MULTILINE | ES_READONLY, 0, 0, 500, 300,
                               log.window, nullptr, GetModuleHandleW(nullptr), nullptr);
  LARGE_INTEGER t0, t1, t2;
  SIZE_T m0 = privateBytes();
  QueryPerformanceCounter(&t0);
  for (int i = 0; i < lines; ++i) {
    std::wstring text = L"[07.12.2026 10:00:00] " + lineText(i) + L"\r\n";
    SendMessageW(plain, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    SendMessageW(plain, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  }
  QueryPerformanceCounter(&t1);
  SIZE_T m1 = privateBytes();
  for (int i = 0; i < lines; ++i) log.append(lineText(i), i % 3 == 0, i % 3 == 1);
  QueryPerformanceCounter(&t2);
  SIZE_T m2 = privateBytes();

  double baseline = seconds(t0, t1), journal = seconds(t1, t2);
  std::printf("journal: %d lines, baseline %.3f s, append %.3f s, time ratio %.2f\n", lines, baseline, journal,
              journal / baseline);
  std::printf("journal: memory growth baseline %llu KiB, append %llu KiB, ratio %.2f\n",
              static_cast<unsigned long long>((m1 - m0) / 1024), static_cast<unsigned long long>((m2 - m1) / 1024),
              m1 > m0 ? static_cast<double>(m2 - m1) / static_cast<double>(m1 - m0) : 0.0);

  // Settings: a typical file read and parsed, against reading its bytes alone.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"wendlor-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring path = folder + L"\\wendlor.ini";
  std::string ini =
      "\xEF\xBB\xBF; settings\r\n[wendlor]\r\nWebServer = bin\\httpd.exe -f conf\\httpd.conf\r\n"
      "WorkingDirectory = .\r\nWebServerDirectory = www\r\nMysqlServer = mysql\\bin\\mysqld.exe\r\n"
      "MysqlServerDirectory = mysql\r\nStartHidden = on\r\nCheckIntervalMs = 1000\r\n"
      "SubstDrive = W:\r\nOpenBrowser = off\r\n[other]\r\nkey = value\r\n";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, ini.data(), static_cast<DWORD>(ini.size()), &written, nullptr);
  CloseHandle(file);

  const int loads = 2000;
  QueryPerformanceCounter(&t0);
  size_t total = 0;
  for (int i = 0; i < loads; ++i) {
    HANDLE f =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD got = 0;
    ReadFile(f, buffer, sizeof buffer, &got, nullptr);
    total += got;
    CloseHandle(f);
  }
  QueryPerformanceCounter(&t1);
  for (int i = 0; i < loads; ++i) total += LoadConfig(folder, nullptr).webServer.size();
  QueryPerformanceCounter(&t2);
  DeleteFileW(path.c_str());
  RemoveDirectoryW(folder.c_str());
  baseline = seconds(t0, t1);
  double load = seconds(t1, t2);
  std::printf("settings: %d loads, baseline read %.3f s, LoadConfig %.3f s, time ratio %.2f (%zu)\n", loads, baseline,
              load, load / baseline, total % 10);
  return 0;
}
