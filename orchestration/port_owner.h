#pragma once

#include <windows.h>

#include <string>

// The port a MySQL server listens on when its command line does not say.
constexpr USHORT kMysqlDefaultPort = 3306;

// The port that the MySQL command line asks for with --port=N, --port N, -P N or -PN (the last
// such option wins); a value that is not a number from 1 to 65535 counts as absent.
USHORT mysqlPort(const std::wstring& commandLine);

// Whether a TCP listener, IPv4 or IPv6, is on port. *ownerPid gets its process id, 0 where the
// system does not tell it. False also when the system's tables cannot be read.
bool findTcpListener(USHORT port, DWORD* ownerPid);

// The file name of a process's executable ("httpd.exe"); empty when it cannot be learnt.
std::wstring processFileName(DWORD pid);

// The Journal line for a port held by another program; fileName may be empty.
std::wstring portTakenLine(USHORT port, const std::wstring& fileName, DWORD pid);
