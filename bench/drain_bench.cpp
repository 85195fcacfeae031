// Cost of keeping a captured web server's pipes empty, as ratios against a baseline measured in
// the same run: fake_server.exe writes the same flood to standard output, once into a plain pipe
// that this program reads in a bare ReadFile loop, once through ChildProcess with its reader
// threads and bounded buffer. Time is from the start to the child's end; memory is the growth of
// this process while the output moves.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/driving.h"
#include "bench/measure.h"
#include "process/child_process.h"

namespace {

std::wstring fixtureCommand(unsigned long long bytes) {
  return quoted(binFolder() + L"\\fake_server.exe") + L" --flood " + std::to_wstring(bytes) + L" --run 0";
}

// The baseline: one pipe, read here until the child lets go of it. Seconds, or -1 on failure.
double rawPipeRead(const std::wstring& command, unsigned long long* received) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION info{};
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return -1;
  }
  std::vector<char> chunk(64 * 1024);
  DWORD got = 0;
  while (ReadFile(readEnd, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) *received += got;
  WaitForSingleObject(info.hProcess, INFINITE);
  QueryPerformanceCounter(&t1);
  CloseHandle(readEnd);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return seconds(t0, t1);
}

// The Launcher's way: nobody reads here while the child writes; the readers keep the pipe moving.
double drainedByChildProcess(const std::wstring& command, size_t* kept) {
  ChildProcess child;
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  if (!child.start({command}, nullptr)) return -1;
  WaitForSingleObject(child.process, INFINITE);
  *kept = child.readOutput().size();
  QueryPerformanceCounter(&t1);
  child.close();
  return seconds(t0, t1);
}

}  // namespace

int wmain() {
  const unsigned long long floodBytes = 32ull * 1024 * 1024;
  const int rounds = 3;
  std::wstring command = fixtureCommand(floodBytes);
  double baseline = 0, drained = 0;
  unsigned long long received = 0;
  size_t kept = 0;
  SIZE_T baselineGrowth = 0, drainedGrowth = 0;
  for (int round = 0; round < rounds; ++round) {
    SIZE_T m0 = privateBytes();
    double raw = rawPipeRead(command, &received);
    SIZE_T m1 = privateBytes();
    double ours = drainedByChildProcess(command, &kept);
    SIZE_T m2 = privateBytes();
    if (raw < 0 || ours < 0) {
      std::printf("drain: could not start %ls\n", command.c_str());
      return 1;
    }
    baseline += raw;
    drained += ours;
    if (m1 > m0) baselineGrowth += m1 - m0;
    if (m2 > m1) drainedGrowth += m2 - m1;
  }
  std::printf("drain: %d rounds of %llu MiB, baseline raw pipe read %.3f s, reader threads %.3f s, time ratio %.2f\n",
              rounds, floodBytes >> 20, baseline, drained, drained / baseline);
  std::printf(
      "drain: throughput %.1f MiB/s through the readers (baseline %.1f MiB/s); %llu bytes read raw, "
      "%zu characters kept\n",
      rounds * static_cast<double>(floodBytes >> 20) / drained,
      rounds * static_cast<double>(floodBytes >> 20) / baseline, received, kept);
  std::printf("drain: memory growth baseline %llu KiB, reader threads %llu KiB\n",
              static_cast<unsigned long long>(baselineGrowth / 1024),
              static_cast<unsigned long long>(drainedGrowth / 1024));
  return 0;
}
