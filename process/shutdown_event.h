#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A database server on Windows creates a named auto-reset event once its start-up is done and
// shuts down cleanly when it is set, with or without a console handler of its own. Its name
// carries the id of the process the Launcher started, whichever process of the server's tree
// created it.

// The names to try for the server started as pid, in order: the server that runs as itself
// (MySQLShutdown), then the real server under the monitor of newer MySQL versions
// (mysqld<pid>_shutdown), then such a server started without its monitor (MYSQLShutdown).
std::vector<std::wstring> shutdownEventNames(DWORD pid);

// Sets the first of those events that opens; false when none does (a server still starting, or
// one that has no such event).
bool signalShutdownEvent(DWORD pid);
