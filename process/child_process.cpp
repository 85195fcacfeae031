#include "process/child_process.h"

// Placeholder until the process launcher lands: nothing can be started yet.
ChildProcess::~ChildProcess() { close(); }

bool ChildProcess::start(const std::wstring&, const std::wstring&, bool, std::wstring* errorText, bool) {
  close();
  output.clear();
  if (errorText) *errorText = L"not available yet";
  return false;
}

bool ChildProcess::isRunning() const { return false; }
DWORD ChildProcess::exitCode() const { return STILL_ACTIVE; }
void ChildProcess::sendCtrlC() const {}
void ChildProcess::terminate(DWORD) const {}
void ChildProcess::close() { pid = 0; }
std::wstring ChildProcess::readOutput() { return output; }
