#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "process/output_capture.h"

struct ServerJob;

// What to start and how.
struct ChildStartOptions {
  std::wstring commandLine;
  std::wstring folder = {};  // empty: the Launcher's current directory
  bool hideWindow = true;
  ServerJob* job = nullptr;  // the child goes in it before it runs a single instruction
};

// The step of a start that failed, and the system's error code for it.
enum class StartStep { OutputPipe, ErrorPipe, Process };
struct StartFailure {
  StartStep step = StartStep::Process;
  DWORD error = 0;
};

// One console program that the Launcher started: the web server or the database server.
struct ChildProcess {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
  DWORD pid = 0;
  HANDLE stdoutRead = nullptr;
  HANDLE stderrRead = nullptr;
  // Both streams' text, standard output first, as of the last readOutput.
  std::wstring output;
  // The bytes of each stream, kept apart and decoded as a whole: a stream's code page is judged
  // from all of it, and a character may come in two reads.
  DrainStream outputStreams[2];
  // While the child runs, reader threads keep its pipes empty (see output_capture.h).
  OutputDrain* drain = nullptr;
  HANDLE outputReaders[2] = {nullptr, nullptr};
  // Started inside the Launcher's server job: it ends with the Launcher, should that die.
  bool inJob = false;

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the child with both output streams captured. False on failure, with the failed step
  // and the system error code in *failure (when failure is not null).
  bool start(const ChildStartOptions& options, StartFailure* failure);
  bool isRunning() const;
  // The child's exit code, or STILL_ACTIVE (259) while it runs and when there is no process.
  DWORD exitCode() const;
  // Sends a console Ctrl+C to the child's console; the Launcher itself swallows that event. False
  // when it could not be sent (no child, one that has ended, or a console that can't be attached).
  bool sendCtrlC() const;
  void terminate(DWORD code) const;
  // The full path of the executable the running child was started from; false when the system
  // does not tell.
  bool imagePath(std::wstring* path) const;
  // Releases the handles without stopping the child. Waits for nothing while the child runs; once
  // it has ended, gives the readers up to kOutputSettleMs to finish.
  void close();
  // Adds what the child has written so far to each stream and returns both streams' text, standard
  // output first (also left in output); never blocks, but once the child has ended gives the
  // readers up to kOutputSettleMs to take its last bytes.
  std::wstring readOutput();
  // The text of one stream (kStandardOutput or kStandardError) as of the last readOutput.
  std::wstring streamText(int stream) const;
};

// The executable that CreateProcessW runs for commandLine's program when the Launcher's own folder
// and its current directory are both firstFolder: a relative name from that folder, else from the
// system's search (the system folders, then PATH); ".exe" added to a name without an extension,
// and an unquoted name with blanks tried up to each blank in turn. Empty when none is found.
std::wstring startedProgramPath(const std::wstring& commandLine, const std::wstring& firstFolder);

// Of the handles a child is given, those that can go in its inheritance list: real,
// inheritable handles, each once, in the order given.
std::vector<HANDLE> inheritableStandardHandles(const std::vector<HANDLE>& candidates);
