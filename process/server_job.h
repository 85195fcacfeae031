#pragma once

#include <windows.h>

#include <vector>

// The job object of one server: it holds the process the Launcher started and every process that
// one starts, so the server's end is the end of the last of them and a forced stop ends them all.
// It also ties them to the Launcher: when the Launcher dies without its teardown (ended from the
// Task Manager, or a crash) the system closes the job's last handle and ends them, so nothing is
// left holding the ports.
struct ServerJob {
  HANDLE job = nullptr;
  // The job the Launcher itself runs in lets its children leave it: they must, on Windows 7,
  // which has no nested jobs.
  bool breakaway = false;

  ServerJob() = default;
  ~ServerJob() { close(); }
  ServerJob(const ServerJob&) = delete;
  ServerJob& operator=(const ServerJob&) = delete;

  // Makes the job; false, and no job, when the system refuses one.
  bool create();
  // CreateProcessW flags for a server that is to go in the job: it is created suspended, so that
  // nothing it starts escapes before it is in.
  DWORD creationFlags() const;
  // Puts a process created with creationFlags() in the job; false when it stays outside (the
  // Launcher's own job forbids it), and then it does not end with the Launcher.
  bool adopt(HANDLE process);
  // Before a normal end, and while the session's end waits for the servers: they outlive the
  // Launcher from now on, so a server still busy with its shutdown can finish.
  void release();
  // The servers end with the Launcher again (a logoff was cancelled).
  void rearm();
  // The ids of the job's processes now; empty when they cannot be listed.
  std::vector<DWORD> processIds() const;
  // A handle (to wait on) of a process of the job that still runs; null when there is none or the
  // job's processes cannot be listed. Each is asked itself: the job's count of active processes
  // may still hold one whose handle has signalled.
  HANDLE openRunningProcess() const;
  // Ends the job's processes by force: every one but the started one first, then that one (so no
  // parent sees its children die and acts on it), then any the job gained meanwhile.
  void terminateTree(HANDLE started, DWORD startedPid, UINT code) const;
  // Closes the handle; while the kill limit is set, that ends every process in the job.
  void close();
};
