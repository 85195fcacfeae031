#include "orchestration/port_owner.h"

#include <iphlpapi.h>
#include <shellapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

#include "app/application.h"

namespace {

bool parsePort(const std::wstring& text, USHORT* port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  if (value < 1 || value > 65535) return false;
  *port = static_cast<USHORT>(value);
  return true;
}

// Ports in the TCP tables are in network byte order in the low 16 bits.
USHORT tablePort(DWORD value) {
  return static_cast<USHORT>(((value & 0xFF) << 8) | ((value >> 8) & 0xFF));
}

// One of the system's TCP listener tables, grown until it fits; empty when it cannot be read.
std::vector<BYTE> listenerTable(ULONG family) {
  std::vector<BYTE> table;
  DWORD size = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD result = GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE, family,
                                       TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (result == NO_ERROR) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER) break;
    table.assign(size, 0);  // listeners may come between two calls: the loop asks again
  }
  return std::vector<BYTE>();
}

template <typename Table>
bool findInTable(const std::vector<BYTE>& bytes, USHORT port, DWORD* ownerPid) {
  if (bytes.size() < sizeof(DWORD)) return false;
  const Table* table = reinterpret_cast<const Table*>(bytes.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    if (tablePort(table->table[i].dwLocalPort) == port) {
      *ownerPid = table->table[i].dwOwningPid;
      return true;
    }
  }
  return false;
}

}  // namespace

USHORT mysqlPort(const std::wstring& commandLine) {
  USHORT port = kMysqlDefaultPort;
  int count = 0;
  LPWSTR* args = commandLine.empty() ? nullptr : CommandLineToArgvW(commandLine.c_str(), &count);
  if (!args) return port;
  // The first word is the program itself.
  for (int i = 1; i < count; ++i) {
    std::wstring arg = args[i];
    std::wstring value;
    bool takesNext = false;
    if (arg.compare(0, 7, L"--port=") == 0) {
      value = arg.substr(7);
    } else if (arg == L"--port" || arg == L"-P") {
      takesNext = true;
    } else if (arg.size() > 2 && arg.compare(0, 2, L"-P") == 0) {
      value = arg.substr(2);
    } else {
      continue;
    }
    if (takesNext) {
      if (i + 1 >= count) break;
      value = args[++i];
    }
    USHORT parsed = 0;
    if (parsePort(value, &parsed)) port = parsed;
  }
  LocalFree(args);
  return port;
}

bool findTcpListener(USHORT port, DWORD* ownerPid) {
  DWORD owner = 0;
  bool found = findInTable<MIB_TCPTABLE_OWNER_PID>(listenerTable(AF_INET), port, &owner) ||
               findInTable<MIB_TCP6TABLE_OWNER_PID>(listenerTable(AF_INET6), port, &owner);
  if (found && ownerPid) *ownerPid = owner;
  return found;
}

std::wstring processFileName(DWORD pid) {
  if (pid == 0) return std::wstring();
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return std::wstring();
  std::vector<wchar_t> path(32768);
  DWORD size = static_cast<DWORD>(path.size());
  BOOL ok = QueryFullProcessImageNameW(process, 0, path.data(), &size);
  CloseHandle(process);
  if (!ok) return std::wstring();
  std::wstring full(path.data(), size);
  size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

std::wstring portTakenLine(USHORT port, const std::wstring& fileName, DWORD pid) {
  std::wstring line = L"Порт " + std::to_wstring(port) + L" занят другой программой";
  if (fileName.empty()) return line + L".";
  return line + L": " + fileName + L" (PID: " + std::to_wstring(pid) + L")";
}

void Application::reportPortOwner(USHORT port) {
  DWORD owner = 0;
  if (!findTcpListener(port, &owner)) return;
  appendJournal(portTakenLine(port, processFileName(owner), owner), true, false);
}
