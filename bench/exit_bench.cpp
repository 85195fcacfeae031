// Exit with both servers against the same Exit with the web server alone, in alternate runs of
// the real wendlor.exe: from command 1002 (Stop and exit) posted to the control window until the
// process has ended, median of 20 each. Both servers are fake_server.exe; the database stand-in
// ends on its Ctrl+C at once, so whatever Exit adds for it is the Launcher's own waiting.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/control_window.h"
#include "bench/driving.h"
#include "bench/launcher_run.h"
#include "bench/measure.h"

namespace {

constexpr int kSamples = 20;
constexpr DWORD kDeadlineMs = 30000;

// Seconds from command 1002 to the end of the process; negative when the run failed.
double exitOnce(bool withDatabase, int round) {
  LauncherRun run;
  if (!prepareLauncher(run, std::wstring(L"exit-") + (withDatabase ? L"both-" : L"web-") + std::to_wstring(round)))
    return -1;
  std::wstring fake = fakeServerCommand();
  std::wstring ini =
      L"[wendlor]\r\nWebServer = " + fake + L" --marker " + quoted(run.webMarker) + L"\r\nMysqlServer = ";
  if (withDatabase) ini += fake + L" --marker " + quoted(run.databaseMarker);
  ini += L"\r\nOpenBrowser = 0\r\n";
  double result = -1;
  if (startLauncher(run, ini)) {
    HWND control = nullptr;
    bool ready = waitWhileRunning(run.info.hProcess, kDeadlineMs, [&] {
      if (!control) control = findTopLevel(run.info.dwProcessId, kControlWindowClass);
      return control && markerStarted(run.webMarker) && (!withDatabase || markerStarted(run.databaseMarker));
    });
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    bool ended = ready && PostMessageW(control, WM_COMMAND, IDM_STOP_AND_EXIT, 0) &&
                 WaitForSingleObject(run.info.hProcess, kDeadlineMs) == WAIT_OBJECT_0;
    QueryPerformanceCounter(&t1);
    if (ended) result = seconds(t0, t1);
  }
  finishLauncher(run);
  return result;
}

}  // namespace

int wmain() {
  std::vector<double> alone, both;
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  for (int round = 0; round < kSamples; ++round) {
    // Alternate, so that a busy moment of the machine falls on both alike.
    double web = exitOnce(false, round);
    double all = exitOnce(true, round);
    if (web < 0 || all < 0) {
      std::printf("exit: round %d failed (%s)\n", round + 1, web < 0 ? "web server alone" : "both servers");
      return 1;
    }
    alone.push_back(web);
    both.push_back(all);
  }
  QueryPerformanceCounter(&t1);
  double base = median(alone), ours = median(both);
  std::printf(
      "exit: command 1002 to process end, medians (lowest-highest) of %d each, %.1f s: web server alone %s, both "
      "servers %s, ratio %.2f, difference %.0f ms\n",
      kSamples, seconds(t0, t1), spread(alone).c_str(), spread(both).c_str(), ours / base, (ours - base) * 1000);
  return 0;
}
