#include "orchestration/port_owner.h"

#include <iphlpapi.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

#include "win/handles.h"
#include "win/process_image.h"
#include "win/system_files.h"
#include "win/text.h"

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

using GetExtendedTcpTableFunction = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

// One of the system's TCP listener tables, grown until it fits; empty when it cannot be read.
std::vector<BYTE> listenerTable(GetExtendedTcpTableFunction getTable, ULONG family) {
  std::vector<BYTE> table;
  DWORD size = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD result =
        getTable(table.empty() ? nullptr : table.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
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
  // Loaded here, from the system folder, rather than imported: iphlpapi.dll is not one of the
  // system's known DLLs, so for an import the loader would look in the program folder first and
  // run whatever it found there before any code of ours.
  HMODULE library = loadSystemLibrary(L"iphlpapi.dll");
  if (!library) return false;
  auto getTable = reinterpret_cast<GetExtendedTcpTableFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "GetExtendedTcpTable")));
  DWORD owner = 0;
  bool found = getTable && (findInTable<MIB_TCPTABLE_OWNER_PID>(listenerTable(getTable, AF_INET), port, &owner) ||
                            findInTable<MIB_TCP6TABLE_OWNER_PID>(listenerTable(getTable, AF_INET6), port, &owner));
  FreeLibrary(library);
  if (found && ownerPid) *ownerPid = owner;
  return found;
}

std::wstring processFileName(DWORD pid) {
  if (pid == 0) return std::wstring();
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process) {
    std::wstring path;
    bool ok = processImagePath(process, &path);
    closeHandle(process);
    if (ok) return fileNameOf(path);
  }
  // A service of another account or a protected process cannot be opened, but is still listed.
  return listedProcessName(pid);
}

std::wstring listedProcessName(DWORD pid) {
  HANDLE snapshot = nullIfInvalid(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return std::wstring();
  std::wstring name;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == pid) {
      name = fileNameOf(entry.szExeFile);
      break;
    }
  }
  closeHandle(snapshot);
  return name;
}

std::wstring portTakenLine(USHORT port, const std::wstring& fileName, DWORD pid) {
  std::wstring prefix = L"Порт " + std::to_wstring(port) + L" занят ";
  std::wstring ofPid = L"(PID: " + std::to_wstring(pid) + L")";
  if (pid == kSystemProcessId) return prefix + L"системной службой HTTP Windows " + ofPid + L".";
  std::wstring line = prefix + L"другой программой";
  if (pid == 0) return line + L".";
  if (fileName.empty()) return line + L" " + ofPid + L".";
  return line + L": " + fileName + L" " + ofPid;
}
