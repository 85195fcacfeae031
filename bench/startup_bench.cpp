// Start-up and exit of the real wendlor.exe, as ratios against startup_baseline.exe (a minimal
// program of ours: one window, one rich edit line, the same two stand-in servers) run alternately
// in the same run. Each start is in a fresh program folder, with fake_server.exe as both servers:
//   start: from CreateProcess until the Journal holds "Подождите..." (read with WM_GETTEXT);
//   memory: the working set of the process at that moment;
//   exit: from command 1002 posted to the control window until the process is gone (the baseline
//         ends its servers with TerminateProcess; the Launcher stops them as it does on Exit).

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/control_window.h"
#include "bench/driving.h"
#include "bench/measure.h"

namespace {

constexpr wchar_t kWaitLine[] = L"Подождите...";
constexpr DWORD kDeadlineMs = 30000;

struct Subject {
  const wchar_t* exeName;
  const wchar_t* journalClass;  // top-level window holding the rich edit
  const wchar_t* controlClass;  // takes command 1002
  bool readsIni;                // wendlor.ini in its folder; else the server commands are arguments
};

const Subject kLauncher{L"wendlor.exe", L"WendlorLogWindow", L"WendlorStarterWindowClass", true};
const Subject kBaseline{L"startup_baseline.exe", L"WendlorStartupBaselineWindow", L"WendlorStartupBaselineWindow",
                        false};

struct Sample {
  bool ok = false;
  double startSeconds = 0;
  SIZE_T workingSet = 0;
  double exitSeconds = 0;
};

// One argument as the C runtime splits a command line: quotes escaped, backslashes before them doubled.
std::wstring argument(const std::wstring& text) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// Polls until done() holds or the deadline passes; false when the process ended first or in time.
template <typename Condition>
bool waitFor(HANDLE process, Condition done) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < kDeadlineMs) {
    if (done()) return true;
    if (process && WaitForSingleObject(process, 2) == WAIT_OBJECT_0) return done();
    if (!process) Sleep(2);
  }
  return false;
}

Sample runOnce(const Subject& subject, int round) {
  Sample sample;
  std::wstring bin = binFolder();
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"wendlor-startup-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(round) + L"-" + subject.exeName;
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring exe = folder + L"\\" + subject.exeName;
  std::wstring dbMarker = folder + L"\\db.txt", webMarker = folder + L"\\web.txt", ini = folder + L"\\wendlor.ini";
  std::wstring fake = quoted(bin + L"\\fake_server.exe");
  std::wstring dbCommand = fake + L" --marker " + quoted(dbMarker);
  std::wstring webCommand = fake + L" --marker " + quoted(webMarker);
  if (!CopyFileW((bin + L"\\" + subject.exeName).c_str(), exe.c_str(), FALSE)) return sample;

  std::wstring line = quoted(exe);
  if (subject.readsIni) {
    writeFile(ini, toUtf8(L"[wendlor]\r\nWebServer = " + webCommand + L"\r\nMysqlServer = " + dbCommand + L"\r\n"));
  } else {
    line += L" " + argument(dbCommand) + L" " + argument(webCommand);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  LARGE_INTEGER t0, t1, t2, t3;
  QueryPerformanceCounter(&t0);
  if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info)) {
    CloseHandle(info.hThread);
    bool shown = waitFor(info.hProcess, [&] {
      HWND journal = findTopLevel(info.dwProcessId, subject.journalClass);
      return journal && richEditText(journal).find(kWaitLine) != std::wstring::npos;
    });
    QueryPerformanceCounter(&t1);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(info.hProcess, &memory, sizeof memory);

    // Both servers have their Ctrl+C handler once they have marked "started".
    bool serversUp = shown && waitFor(nullptr, [&] { return markerStarted(dbMarker) && markerStarted(webMarker); });
    HWND control = serversUp ? findTopLevel(info.dwProcessId, subject.controlClass) : nullptr;
    QueryPerformanceCounter(&t2);
    bool ended = control && PostMessageW(control, WM_COMMAND, IDM_STOP_AND_EXIT, 0) &&
                 WaitForSingleObject(info.hProcess, kDeadlineMs) == WAIT_OBJECT_0;
    QueryPerformanceCounter(&t3);
    if (ended) {
      sample.ok = true;
      sample.startSeconds = seconds(t0, t1);
      sample.workingSet = memory.WorkingSetSize;
      sample.exitSeconds = seconds(t2, t3);
    } else {
      TerminateProcess(info.hProcess, 1);
      WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hProcess);
  }

  endStandIns(dbMarker, webMarker);
  for (const std::wstring& file : {exe, ini, dbMarker, webMarker}) DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
  return sample;
}

}  // namespace

int wmain() {
  const int rounds = 5;
  std::vector<double> start[2], stop[2];
  std::vector<SIZE_T> memory[2];
  const Subject* subjects[2] = {&kBaseline, &kLauncher};
  for (int round = 0; round < rounds; ++round) {
    for (int which = 0; which < 2; ++which) {
      Sample sample = runOnce(*subjects[which], round);
      if (!sample.ok) {
        std::printf("startup: round %d of %ls failed\n", round + 1, subjects[which]->exeName);
        return 1;
      }
      start[which].push_back(sample.startSeconds);
      memory[which].push_back(sample.workingSet);
      stop[which].push_back(sample.exitSeconds);
    }
  }
  double baseStart = median(start[0]), ourStart = median(start[1]);
  double baseExit = median(stop[0]), ourExit = median(stop[1]);
  SIZE_T baseMemory = median(memory[0]), ourMemory = median(memory[1]);
  std::printf("startup: medians (lowest-highest) of %d runs each, wendlor.exe against startup_baseline.exe\n", rounds);
  std::printf("startup: start to \"%s\" in the Journal: baseline %s, wendlor %s, ratio %.2f\n",
              toUtf8(kWaitLine).c_str(), spread(start[0]).c_str(), spread(start[1]).c_str(), ourStart / baseStart);
  std::printf("startup: working set then: baseline %llu KiB, wendlor %llu KiB, ratio %.2f\n",
              static_cast<unsigned long long>(baseMemory / 1024), static_cast<unsigned long long>(ourMemory / 1024),
              static_cast<double>(ourMemory) / static_cast<double>(baseMemory));
  std::printf("startup: command 1002 to process end: baseline %s, wendlor %s, ratio %.2f\n", spread(stop[0]).c_str(),
              spread(stop[1]).c_str(), ourExit / baseExit);
  return 0;
}
