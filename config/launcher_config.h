#pragma once

#include <windows.h>

#include <string>

// The settings of wendlor.ini, exactly as written there (folders are resolved when used).
struct LauncherConfig {
  std::wstring webServer = L"httpd.exe";
  std::wstring workingDirectory = L".";
  std::wstring webServerDirectory;
  std::wstring mysqlServerDirectory;
  bool startHidden = true;
  bool singleInstance = false;
  bool noTerminate = false;
  DWORD checkIntervalMs = 1000;
  std::wstring substDrive;
  std::wstring mysqlServer;
  bool openBrowser = false;
};

constexpr DWORD kMinCheckIntervalMs = 100;
constexpr wchar_t kConfigFileName[] = L"wendlor.ini";

// Reads programFolder\wendlor.ini. Never fails: a missing or bad file gives defaults. When the
// web server setting ends up empty, *warning receives the warning text and the whole record
// returns to its defaults; otherwise *warning is left untouched.
LauncherConfig LoadConfig(const std::wstring& programFolder, std::wstring* warning);

// Parses the bytes of a whole file the same way (the byte-order mark included).
LauncherConfig ParseConfig(const std::string& bytes, std::wstring* warning);

// The working directory in effect: the WorkingDirectory setting resolved against programFolder,
// which is also the fallback for an empty or "." setting.
std::wstring effectiveWorkingDirectory(const LauncherConfig& config, const std::wstring& programFolder);

// Byte-string helpers of the loader; ASCII only, no locale.
std::string TrimAscii(const std::string& text);
std::string ToLowerAscii(const std::string& text);
bool ParseBoolValue(const std::string& text, bool& value);
// strtoul-like base-10 conversion that must consume the whole text; false when it does not.
bool ParseUnsignedDecimal(const std::string& text, DWORD& value);
std::wstring Utf8ToWide(const std::string& bytes);
