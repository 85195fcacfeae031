// How late a server's end reaches the Journal: a web server stand-in (fake_server.exe) that ends
// by itself, from its exit time (GetProcessTimes on a handle of ours to it) until its report line
// is in the Journal (one WM_GETTEXT per read), at CheckIntervalMs 1000 and 10000.
// Baseline, in the same samples: how late this benchmark's own WaitForSingleObject on that handle
// wakes, the floor for seeing the same end from outside.
//
// The stand-ins run for 1 s plus i/20 of the interval (sample i), so that their ends fall evenly
// across the Launcher's supervision period instead of at one fixed phase of it. Each Launcher can
// report one web server end, so the samples run as parallel Launchers, --parallel N at once
// (default 10; interleaved so that each batch spans the whole period): at 10 s that is two batches
// of about 22 s instead of 20 runs one after the other. Only a sample whose server has ended reads
// the Journal, every ms at first and then at 1% of the time since the end (at most every 20 ms),
// so a reading is late by at most 1 ms or 1% plus one read.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/driving.h"
#include "bench/launcher_run.h"
#include "bench/measure.h"

namespace {

// The first line of the report: an end within 5 s of the start is an early one, a later end (the
// runs at 10 s reach 10.5 s) reports as stopped.
constexpr wchar_t kEarlyLine[] = L"ОШИБКА: Веб-сервер неожиданно закрылся!";
constexpr wchar_t kStoppedLine[] = L"ОШИБКА: Веб-сервер остановился (PID: ";
constexpr int kSamples = 20;
constexpr DWORD kBaseRunMs = 1000;
constexpr DWORD kDeadlineMs = 60000;
constexpr ULONGLONG kUnitsPerMs = 10000;  // FILETIME units

struct Sample {
  int index = 0;
  DWORD intervalMs = 0;
  DWORD runMs = 0;
  bool ok = false;
  bool early = false;  // reported with kEarlyLine
  const char* failure = "not run";
  double floorMs = 0;    // exit until our own wait woke
  double journalMs = 0;  // exit until the report was read in the Journal
};

DWORD pollGapMs(double sinceEndMs) {
  double gap = sinceEndMs / 100;
  return gap < 1 ? 1 : gap > 20 ? 20 : static_cast<DWORD>(gap);
}

void measure(Sample& sample) {
  LauncherRun run;
  if (!prepareLauncher(run, L"end-" + std::to_wstring(sample.intervalMs) + L"-" + std::to_wstring(sample.index))) {
    sample.failure = "could not copy wendlor.exe";
    return;
  }
  std::wstring fake = fakeServerCommand();
  std::wstring ini = L"[wendlor]\r\nWebServer = " + fake + L" --marker " + quoted(run.webMarker) + L" --run " +
                     std::to_wstring(sample.runMs) + L" --exit-code 1\r\nMysqlServer = " + fake + L" --marker " +
                     quoted(run.databaseMarker) + L"\r\nCheckIntervalMs = " + std::to_wstring(sample.intervalMs) +
                     L"\r\nOpenBrowser = 0\r\nSingleInstance = 0\r\n";
  if (!startLauncher(run, ini)) {
    sample.failure = "could not start wendlor.exe";
    finishLauncher(run);
    return;
  }
  HANDLE server = nullptr;
  HWND edit = nullptr;
  bool ready = waitWhileRunning(run.info.hProcess, kDeadlineMs, [&] {
    if (!server) {
      DWORD pid = markerPid(run.webMarker);
      if (pid) server = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    if (!edit) edit = richEditOf(findTopLevel(run.info.dwProcessId, L"WendlorLogWindow"));
    return server && edit;
  });
  DWORD code = 0;
  if (!ready) {
    sample.failure = "no web server or no Journal in time";
  } else if (!GetExitCodeProcess(server, &code) || code != STILL_ACTIVE) {
    sample.failure = "the web server ended before it was watched";
  } else if (WaitForSingleObject(server, kDeadlineMs) != WAIT_OBJECT_0) {
    sample.failure = "the web server did not end";
  } else {
    ULONGLONG woke = wallClockNow();
    ULONGLONG ended = processExitTime(server);
    std::vector<wchar_t> buffer(1 << 16);
    std::wstring text;
    bool seen = false, stopped = false;
    ULONGLONG now = woke;
    while (!seen && now - ended < kDeadlineMs * kUnitsPerMs) {
      // Wine takes a thread that has waited in GetMessage for 5 s as hung and fails the read at
      // once, however soon it answers: read again.
      bool read = readRichEditOnce(edit, buffer, text);
      now = wallClockNow();
      if (!read) {
        Sleep(1);
        continue;
      }
      stopped = text.find(kStoppedLine) != std::wstring::npos;
      seen = stopped || text.find(kEarlyLine) != std::wstring::npos;
      if (!seen) Sleep(pollGapMs(static_cast<double>(now - ended) / kUnitsPerMs));
    }
    if (ended == 0 || woke < ended) {
      sample.failure = "no exit time for the web server";
    } else if (!seen) {
      sample.failure = "no report in the Journal";
    } else {
      sample.ok = true;
      sample.early = !stopped;
      sample.floorMs = static_cast<double>(woke - ended) / kUnitsPerMs;
      sample.journalMs = static_cast<double>(now - ended) / kUnitsPerMs;
    }
  }
  if (server) CloseHandle(server);
  finishLauncher(run);
}

DWORD WINAPI measureThread(LPVOID sample) {
  measure(*static_cast<Sample*>(sample));
  return 0;
}

std::string millis(const std::vector<double>& values) {
  std::vector<double> s = sorted(values);
  char text[96];
  std::snprintf(text, sizeof text, "%.1f ms (%.1f-%.1f)", s[s.size() / 2], s.front(), s.back());
  return text;
}

bool measureInterval(DWORD intervalMs, int parallel) {
  std::vector<Sample> samples(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    samples[i].index = i;
    samples[i].intervalMs = intervalMs;
    samples[i].runMs = kBaseRunMs + intervalMs * static_cast<DWORD>(i) / kSamples;
  }
  int batches = (kSamples + parallel - 1) / parallel;
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  for (int batch = 0; batch < batches; ++batch) {
    std::vector<HANDLE> threads;
    for (int i = batch; i < kSamples; i += batches) {
      HANDLE thread = CreateThread(nullptr, 0, measureThread, &samples[i], 0, nullptr);
      if (thread) threads.push_back(thread);
    }
    for (HANDLE thread : threads) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
  }
  QueryPerformanceCounter(&t1);
  std::vector<double> floor, journal;
  int early = 0;
  for (const Sample& sample : samples) {
    if (!sample.ok) {
      std::printf("end: CheckIntervalMs %lu, sample %d (run %lu ms) failed: %s\n",
                  static_cast<unsigned long>(intervalMs), sample.index + 1, static_cast<unsigned long>(sample.runMs),
                  sample.failure);
      continue;
    }
    early += sample.early ? 1 : 0;
    floor.push_back(sample.floorMs);
    journal.push_back(sample.journalMs);
  }
  if (floor.empty()) return false;
  double ourMedian = median(journal), baseMedian = median(floor);
  std::printf(
      "end: CheckIntervalMs %lu, %u of %d samples (%d early ends), %d at once, %.1f s: exit to our own wait %s, exit "
      "to the Journal line %s, ratio of medians %.0f, difference %.1f ms\n",
      static_cast<unsigned long>(intervalMs), static_cast<unsigned>(floor.size()), kSamples, early, parallel,
      seconds(t0, t1), millis(floor).c_str(), millis(journal).c_str(), baseMedian > 0 ? ourMedian / baseMedian : 0.0,
      ourMedian - baseMedian);
  return floor.size() == static_cast<std::size_t>(kSamples);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int parallel = 10;
  if (argc > 2 && lstrcmpW(argv[1], L"--parallel") == 0) parallel = _wtoi(argv[2]);
  if (parallel < 1 || parallel > kSamples) parallel = 10;
  std::printf("end: medians (lowest-highest) of %d web server ends each, from the stand-in's exit time\n", kSamples);
  bool whole = measureInterval(1000, parallel);
  whole = measureInterval(10000, parallel) && whole;
  return whole ? 0 : 1;
}
