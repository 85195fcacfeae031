#pragma once

#include <windows.h>

// The job object that ties both servers, and whatever they start, to the Launcher: when the
// Launcher dies without its teardown (ended from the Task Manager, or a crash) the system closes
// the job's last handle and ends them, so nothing is left holding the ports.
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
  // Before a normal end: the servers outlive the Launcher from now on, so a web server still busy
  // with its Ctrl+C can finish.
  void release();
  // Closes the handle; while the kill limit is set, that ends every process in the job.
  void close();
};
