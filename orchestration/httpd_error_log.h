#pragma once

#include <windows.h>

#include <string>

// Apache httpd writes most of its errors to its own error log, not to its console. This finds that
// file as httpd itself does: from its command line and httpd.conf with what that includes.

// Bounds on reading the configuration, so that include loops, huge files or a folder tree given to
// Include end soon: bytes taken from one file and from all, files read, nesting of includes and
// folders, and folders listed.
constexpr DWORD kHttpdConfigFileBytes = 1024 * 1024;
constexpr DWORD kHttpdConfigTotalBytes = 8 * 1024 * 1024;
constexpr int kHttpdConfigFiles = 256;
constexpr int kHttpdIncludeDepth = 16;
constexpr int kHttpdFolderListings = 256;

// The full path of the error log of the web server started with commandLine in serverFolder, the
// executable being program (its folder, or that folder's parent when it is "bin", is the server's
// root unless -d names one). Empty, with *notFile set, when no configuration file is found (the
// server is no Apache httpd) or its error log goes to a program or syslog: then there is nothing
// to show.
std::wstring FindHttpdErrorLog(const std::wstring& commandLine, const std::wstring& program,
                               const std::wstring& serverFolder, bool* notFile);
