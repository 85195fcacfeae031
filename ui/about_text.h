#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "config/launcher_config.h"

// One server as the About box shows it.
struct AboutServer {
  std::wstring heading;  // "Основной процесс:" / "MySQL процесс:"
  DWORD pid = 0;
  bool running = false;
  bool hasWindows = false;  // then the "  WindowsVisible: " line follows Running
  bool windowsVisible = false;
  DWORD restarts = 0;
  bool inJob = false;  // "  EndsWithLauncher: " shown when !config.noTerminate && pid != 0
};

// What the About box tells, taken by the shell at the moment it is shown.
struct AboutSnapshot {
  std::wstring version;  // the short version, "3.2"
  std::wstring configWarning;
  LauncherConfig config;
  std::wstring workingDirectory;
  std::vector<AboutServer> servers;
};

std::wstring aboutText(const AboutSnapshot& snapshot);
