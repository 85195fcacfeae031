// Cost of watching the servers, as ratios against baselines measured in the same run:
// - one supervision tick with both servers running, against the two bare GetExitCodeProcess
//   calls that any watch needs;
// - the Launcher's own CPU time over 60 s with both servers running, against the same 60 s of a
//   stand-in server that only waits, so that a Launcher that polls or spins shows at once.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/control_window.h"
#include "bench/driving.h"
#include "bench/measure.h"
#include "orchestration/server_stack.h"

namespace {

std::wstring fakeServer() {
  return quoted(binFolder() + L"\\fake_server.exe");
}

// Under Wine another process's times read as zero; the host's own account of the process whose
// command line holds needle stands in (its /proc, which Wine shows as Z:\proc). Milliseconds.
ULONGLONG hostCpuMs(const std::string& needle) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  ULONGLONG total = 0;
  do {
    if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') continue;
    std::wstring folder = std::wstring(L"Z:\\proc\\") + entry.cFileName;
    std::string commandLine = readFile(folder + L"\\cmdline");
    if (commandLine.find(needle) == std::string::npos) continue;
    std::string stat = readFile(folder + L"\\stat");
    size_t end = stat.rfind(')');
    if (end == std::string::npos) continue;
    // After the name: state, then fields 4 to 13, then utime and stime in clock ticks (1/100 s).
    unsigned long long utime = 0, stime = 0;
    std::sscanf(stat.c_str() + end + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime);
    total += (utime + stime) * 10;
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return total;
}

ULONGLONG cpuMs(HANDLE process, const std::string& needle) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  ULONGLONG ms = (value(kernel) + value(user)) / 10000;
  return ms != 0 ? ms : hostCpuMs(needle);
}

struct Started {
  PROCESS_INFORMATION info{};
  bool start(const std::wstring& commandLine, const std::wstring& folder) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info) != FALSE;
  }
  ~Started() {
    if (!info.hProcess) return;
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
};

void tickCost() {
  LauncherConfig config;
  config.webServer = fakeServer();
  config.mysqlServer = fakeServer();
  ServerStack stack;
  stack.configure(config, L"", kServerKinds, kServerKindCount);
  stack.startAll();
  HANDLE database = stack.find(kDatabaseKind)->process.process;
  HANDLE webServer = stack.find(kWebServerKind)->process.process;
  if (!database || !webServer) {
    std::printf("tick: the stand-in servers did not start\n");
    return;
  }
  stack.allStartedReported = true;  // the steady state: announced, visibility passes over
  stack.visibilityPasses = kVisibilityPasses;

  // Rounds that alternate the two, so that a busy moment of the machine falls on both alike.
  const int ticks = 5000, rounds = 6;
  double baseline = 0, tick = 0;
  DWORD code = 0, sum = 0;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < ticks; ++i) {
      GetExitCodeProcess(database, &code);
      sum += code;
      GetExitCodeProcess(webServer, &code);
      sum += code;
    }
    QueryPerformanceCounter(&t1);
    for (int i = 0; i < ticks; ++i) stack.tick(GetTickCount());
    QueryPerformanceCounter(&t2);
    baseline += seconds(t0, t1);
    tick += seconds(t1, t2);
  }
  std::printf(
      "tick: %d ticks, baseline 2x GetExitCodeProcess %.1f us, supervise %.1f us a tick, time ratio %.2f (%lu)\n",
      ticks * rounds, 1e6 * baseline / (ticks * rounds), 1e6 * tick / (ticks * rounds), tick / baseline,
      static_cast<unsigned long>(sum % 10));
  stack.release();
}

bool journalHolds(DWORD pid, const wchar_t* needle) {
  return richEditText(findTopLevel(pid, L"WendlorLogWindow")).find(needle) != std::wstring::npos;
}

void idleCpu(DWORD seconds) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"wendlor-idle-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  CopyFileW((binFolder() + L"\\wendlor.exe").c_str(), (folder + L"\\wendlor.exe").c_str(), FALSE);
  writeFile(folder + L"\\wendlor.ini",
            toUtf8(L"WebServer=" + fakeServer() + L"\r\nMysqlServer=" + fakeServer() + L"\r\n"));

  Started launcher, idleServer;
  std::wstring idleTag = L"idle-stand-in-" + std::to_wstring(GetCurrentProcessId());
  if (!launcher.start(L"\"" + folder + L"\\wendlor.exe\"", folder) ||
      !idleServer.start(fakeServer() + L" --exit-code 0 " + idleTag, L"")) {
    std::printf("idle: could not start the Launcher or the stand-in\n");
    return;
  }
  DWORD start = GetTickCount();
  while (!journalHolds(launcher.info.dwProcessId, L"Все процессы успешно запущены") && GetTickCount() - start < 30000)
    Sleep(100);
  std::string launcherTag = "wendlor-idle-" + std::to_string(GetCurrentProcessId());
  std::string standInTag(idleTag.begin(), idleTag.end());
  ULONGLONG launcher0 = cpuMs(launcher.info.hProcess, launcherTag);
  ULONGLONG idle0 = cpuMs(idleServer.info.hProcess, standInTag);
  Sleep(seconds * 1000);
  ULONGLONG launcherCpu = cpuMs(launcher.info.hProcess, launcherTag) - launcher0;
  ULONGLONG idleCpu = cpuMs(idleServer.info.hProcess, standInTag) - idle0;
  char ratio[64];
  if (idleCpu != 0) {
    std::snprintf(ratio, sizeof ratio, "%.2f", static_cast<double>(launcherCpu) / static_cast<double>(idleCpu));
  } else {
    std::snprintf(ratio, sizeof ratio, "n/a (the stand-in used less than the 10 ms the host counts)");
  }
  std::printf(
      "idle: over %lu s with both servers running, Launcher CPU %llu ms (%.3f%%), a waiting stand-in %llu ms, "
      "ratio %s; the Launcher's start-up before it took %llu ms\n",
      static_cast<unsigned long>(seconds), launcherCpu, 100.0 * launcherCpu / (seconds * 1000.0), idleCpu, ratio,
      launcher0);
  HWND control = findTopLevel(launcher.info.dwProcessId, kControlWindowClass);
  if (control) PostMessageW(control, WM_COMMAND, IDM_STOP_AND_EXIT, 0);
  WaitForSingleObject(launcher.info.hProcess, 20000);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  tickCost();
  // The idle measure takes a minute; "--quick" shortens it for a first look.
  idleCpu(argc > 1 && lstrcmpW(argv[1], L"--quick") == 0 ? 5 : 60);
  return 0;
}
