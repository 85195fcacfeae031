#include "process/shutdown_event.h"

#include "win/handles.h"

std::vector<std::wstring> shutdownEventNames(DWORD pid) {
  std::wstring id = std::to_wstring(pid);
  // The names are case-sensitive: the first and the last differ only in case.
  return {L"MySQLShutdown" + id, L"mysqld" + id + L"_shutdown", L"MYSQLShutdown" + id};
}

bool signalShutdownEvent(DWORD pid) {
  if (pid == 0) return false;
  for (const std::wstring& name : shutdownEventNames(pid)) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (!event) continue;
    bool set = SetEvent(event) != FALSE;
    closeHandle(event);
    if (set) return true;
  }
  return false;
}
