#pragma once

#include <windows.h>

#include <string>

// The process id of the system itself, which holds the ports that its HTTP service (http.sys)
// serves for IIS and for other programs that reserve addresses with it.
constexpr DWORD kSystemProcessId = 4;

// The port a MySQL server listens on when its command line does not say.
constexpr USHORT kMysqlDefaultPort = 3306;

// The port that the MySQL command line asks for with --port=N, --port N, -P N or -PN (the last
// such option wins); a value that is not a number from 1 to 65535 counts as absent.
USHORT mysqlPort(const std::wstring& commandLine);

// Whether a TCP listener, IPv4 or IPv6, is on port. *ownerPid gets its process id, 0 where the
// system does not tell it. False also when the system's tables cannot be read (iphlpapi.dll
// missing from the system folder included).
bool findTcpListener(USHORT port, DWORD* ownerPid);

// The file name of a process's executable ("httpd.exe"): from its image path, else from the
// system's process list (for processes we may not open); empty when neither tells it.
std::wstring processFileName(DWORD pid);

// The executable's file name that the system's process list gives for pid; empty when the list
// cannot be had or does not hold it.
std::wstring listedProcessName(DWORD pid);

// The Journal line for a port held by another program; fileName may be empty, pid 0 = unknown.
std::wstring portTakenLine(USHORT port, const std::wstring& fileName, DWORD pid);
