#pragma once

#include <windows.h>

#include <string>

// One console program that the Launcher started: the web server or the database server.
struct ChildProcess {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
  DWORD pid = 0;
  HANDLE stdoutRead = nullptr;
  HANDLE stderrRead = nullptr;
  std::wstring output;

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts commandLine in folder (empty: the Launcher's current directory). On failure writes the
  // message for the user into *errorText when given.
  bool start(const std::wstring& commandLine, const std::wstring& folder, bool hideWindow,
             std::wstring* errorText, bool captureOutput);
  bool isRunning() const;
  // The child's exit code, or STILL_ACTIVE (259) while it runs and when there is no process.
  DWORD exitCode() const;
  void sendCtrlC() const;
  void terminate(DWORD code) const;
  void close();
  // Adds what the child has written so far to output and returns all of it; never blocks.
  std::wstring readOutput();
};
