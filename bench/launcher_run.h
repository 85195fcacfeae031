#pragma once

// One run of the real wendlor.exe in a fresh program folder of its own, whose wendlor.ini names
// the tests' stand-in server; stopped the way the user stops it (command 1002) and cleaned away.

#include <windows.h>

#include <string>

#include "app/control_window.h"
#include "bench/driving.h"

struct LauncherRun {
  std::wstring folder, exe, ini;
  std::wstring webMarker, databaseMarker;  // fake_server markers, in the program folder
  PROCESS_INFORMATION info{};
};

inline std::wstring fakeServerCommand() {
  return quoted(binFolder() + L"\\fake_server.exe");
}

// Makes the folder and its copy of wendlor.exe; the markers are named but not yet written.
inline bool prepareLauncher(LauncherRun& run, const std::wstring& tag) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  run.folder = std::wstring(temp) + L"wendlor-" + tag + L"-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(run.folder.c_str(), nullptr);
  run.exe = run.folder + L"\\wendlor.exe";
  run.ini = run.folder + L"\\wendlor.ini";
  run.webMarker = run.folder + L"\\web.txt";
  run.databaseMarker = run.folder + L"\\db.txt";
  return CopyFileW((binFolder() + L"\\wendlor.exe").c_str(), run.exe.c_str(), FALSE) != FALSE;
}

inline bool startLauncher(LauncherRun& run, const std::wstring& iniText) {
  if (!writeFile(run.ini, toUtf8(iniText))) return false;
  std::wstring line = quoted(run.exe);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  return CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, run.folder.c_str(), &startup,
                        &run.info) != FALSE;
}

// Polls until done() holds; false when the deadline passes or the process ends first.
template <typename Condition>
bool waitWhileRunning(HANDLE process, DWORD deadlineMs, Condition done) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < deadlineMs) {
    if (done()) return true;
    if (WaitForSingleObject(process, 2) == WAIT_OBJECT_0) return done();
  }
  return false;
}

// Ends a run however far it got: command 1002 and its own deadline, then whatever is left is
// ended; the web server, which is only sent a Ctrl+C, gets the same time to go by itself.
inline void finishLauncher(LauncherRun& run) {
  if (run.info.hProcess) {
    HWND control = findTopLevel(run.info.dwProcessId, kControlWindowClass);
    if (!control || !PostMessageW(control, WM_COMMAND, IDM_STOP_AND_EXIT, 0) ||
        WaitForSingleObject(run.info.hProcess, 20000) != WAIT_OBJECT_0) {
      TerminateProcess(run.info.hProcess, 1);
      WaitForSingleObject(run.info.hProcess, 5000);
    }
    CloseHandle(run.info.hThread);
    CloseHandle(run.info.hProcess);
    run.info = PROCESS_INFORMATION{};
  }
  endStandIns(run.databaseMarker, run.webMarker);
  for (const std::wstring& file : {run.exe, run.ini, run.databaseMarker, run.webMarker}) DeleteFileW(file.c_str());
  RemoveDirectoryW(run.folder.c_str());
}
