#pragma once

// Answers the modal dialogs that a test's own thread opens and waits in: a file dialog gets a
// path and OK, a question gets Yes. It works from a second thread, as a user would from outside.

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace e2e {

struct DialogDriver {
  DWORD uiThread = 0;
  std::wstring path;  // what the file dialog is given
  std::atomic<bool> stopping{false};
  std::atomic<bool> fileDialogSeen{false};
  std::atomic<int> questionsAnswered{0};
  std::wstring offeredName;  // the file name the dialog offered, read before it is replaced
  std::thread worker;

  // Drives the dialogs of the calling thread from now until the driver is destroyed.
  explicit DialogDriver(const std::wstring& filePath);
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;
};

}  // namespace e2e
