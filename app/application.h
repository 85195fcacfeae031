#pragma once

#include <windows.h>

#include <string>

#include "config/launcher_config.h"
#include "orchestration/server_stack.h"
#include "ui/log_window.h"
#include "ui/tray_icon.h"

constexpr wchar_t kMessageBoxCaption[] = L"ZEM Wendlor";
// Above the default 0x280 of every process: at logoff we hear of the session's end before the
// servers' consoles do.
constexpr DWORD kShutdownLevel = 0x380;
// What Windows shows while the Launcher holds the session's end to stop its servers.
constexpr wchar_t kShutdownBlockReason[] = L"Остановка серверов ZEM Wendlor";

// The shell: the settings, the folders, the server stack and the windows, and the routing of
// messages between them. The stack decides; the shell shows what it reports.
struct Application {
  HINSTANCE instance = nullptr;
  HWND controlWindow = nullptr;
  LauncherConfig config;
  std::wstring configWarning;
  std::wstring programFolder;
  std::wstring startupFolder;
  ServerStack stack;
  LogWindow logWindow;
  TrayIcon tray;
  HANDLE instanceMutex = nullptr;
  // The window that holds the shutdown block reason while the session's end waits for us: the
  // Journal, shown, since Windows soon ends a program that blocks without a visible window.
  HWND shutdownReasonWindow = nullptr;

  Application() = default;
  ~Application() { release(); }
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Start-up sequence, message loop and the release; the process exit code.
  int run(HINSTANCE instance);
  bool createControlWindow();
  LRESULT handleControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void onCommand(WORD command);
  // The stack with its notices sent to the control window.
  void startServers();

  // Writes a report of the stack to the windows, and keeps the fast tick while the stack wants it.
  void show(const StackReport& report);
  void showLines(const JournalLines& lines);
  void followStack();

  // Every way to Exit: the servers Exit waits for, then the quit; never a wait on this thread.
  void requestExit(StopReason reason);
  void exitFromLogWindow();
  // Logoff and shutdown (WM_QUERYENDSESSION, WM_ENDSESSION).
  BOOL onQueryEndSession();
  void onEndSession(bool ending, LPARAM reasons);
  // The servers no longer end with the Launcher; the Journal is shown and holds the block reason.
  void holdSessionEnd();
  void setShutdownBlockReason();
  void clearShutdownBlockReason();

  // Tray.
  bool addTrayIcon();
  // At TaskbarCreated and on TIMER_TRAY_RETRY: the icon again, until the shell holds it.
  void restoreTrayIcon();
  void showTrayMenu();
  void showAbout();

  // Ends the run: the timers, the tray icon, the servers, the windows and the mutex. The end of the
  // message loop and the destructor both run it; each step may run twice.
  void release();
};

// Error message box of the start-up sequence (no owner, the program's caption, error icon).
void showStartupError(const std::wstring& text);
