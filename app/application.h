#pragma once

#include <windows.h>

#include <string>

#include "config/launcher_config.h"
#include "orchestration/server.h"
#include "orchestration/start_page_probe.h"
#include "process/server_job.h"
#include "ui/log_window.h"
#include "ui/tray_icon.h"

constexpr wchar_t kMessageBoxCaption[] = L"ZEM Wendlor";
// How long Exit gives the database to shut down on its Ctrl+C before it is terminated.
constexpr DWORD kDatabaseStopTimeoutMs = 10000;
// Above the default 0x280 of every process: at logoff we hear of the session's end before the
// servers' consoles do.
constexpr DWORD kShutdownLevel = 0x380;
// What Windows shows while the Launcher holds the session's end to stop its servers.
constexpr wchar_t kShutdownBlockReason[] = L"Остановка серверов ZEM Wendlor";

enum class LauncherPhase {
  Starting,         // before the message loop
  Running,          // the servers are looked after
  StoppingServers,  // Exit waits for the database to shut down; the windows still answer
  Quitting,         // the quit request is on its way
  SessionEnded,     // Windows ends the session: nothing starts any more, only Exit remains
};

// Identifies each server in its end notice (WM_SERVER_ENDED).
constexpr WPARAM kWebServerNotice = 0;
constexpr WPARAM kDatabaseNotice = 1;

// The one state object of the Launcher: it owns the windows, the menu, the icon, the mutex,
// the tray icon and both server processes for the whole run.
struct Application {
  HINSTANCE instance = nullptr;
  HWND controlWindow = nullptr;
  LauncherConfig config;
  std::wstring programFolder;
  std::wstring startupFolder;
  std::wstring configWarning;
  Server webServer{kWebServerTexts};
  Server database{kDatabaseTexts};
  LauncherPhase phase = LauncherPhase::Starting;
  bool processWindowsVisible = true;
  // While tray.wanted and the shell has not taken the icon, TIMER_TRAY_RETRY tries again.
  TrayIcon tray;
  HANDLE instanceMutex = nullptr;
  int visibilityPasses = 0;
  bool allStartedReported = false;
  bool browserOpened = false;
  // The all-started line waits for the first answer of the start page's port.
  bool allStartedPending = false;
  // While the start page waits for the web server to answer on its port.
  bool startPageProbing = false;
  DWORD startPageProbeTick = 0;
  StartPageProbe startPageProbe;
  LogWindow logWindow;

  // Whether Exit, once the database has gone, gives the web server its Ctrl+C at once.
  bool exitInterruptsWebServer = false;
  // The window that holds the shutdown block reason while the session's end waits for us: the
  // Journal, shown, since Windows soon ends a program that blocks without a visible window.
  HWND shutdownReasonWindow = nullptr;

  Application() = default;
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Start-up sequence, message loop and end-of-run teardown; the process exit code.
  int run(HINSTANCE instance);

  // Single instance.
  bool acquireSingleInstance();

  // Control window.
  bool createControlWindow();
  LRESULT handleControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void toggleProcessWindows();
  void showProcessWindows();
  void showTrayMenuAtCursor();
  void showAbout();

  // Shutdown.
  void stopChildren();
  void stopServersAndQuit();
  // Every way to Exit: the database first, then (when asked) the web server's Ctrl+C, then the
  // quit request; never a wait on this thread.
  bool exitWaitsForDatabase() const;
  void requestExit(bool interruptWebServer);
  void exitFromLogWindow();
  void checkDatabaseStop();
  // Asks a server to stop (its shutdown event, else its Ctrl+C), with its line; at once by force
  // when nothing can be delivered.
  void beginStop(Server& server);
  // TIMER_SHUTDOWN_EVENT: the shutdown event of a server that was asked by Ctrl+C, once it appears.
  void retryShutdownEvents();
  // Ends a server by force and says so in the Journal.
  void forceStop(Server& server, const std::wstring& line);
  // Restarting one server from the tray or by command; never waits on this thread.
  void restartWebServer();
  void restartDatabase();
  // Stops server to start it again on its end notice; boundTimer ends the wait by force.
  void stopForRestart(Server& server, UINT_PTR boundTimer);
  void checkWebServerStop();
  // A server stopped to be restarted has ended: start it again, unless the Launcher exits.
  void restartEnded(Server& server);
  // Logoff and shutdown (WM_QUERYENDSESSION, WM_ENDSESSION).
  bool serversToStopAtSessionEnd() const;
  BOOL onQueryEndSession();
  void onEndSession(bool ending, LPARAM reasons);
  // What the query does when servers are to be stopped: the servers no longer end with the
  // Launcher, the Journal is shown and holds the block reason.
  void holdSessionEnd();
  void stopServersForSessionEnd();
  void setShutdownBlockReason();
  void clearShutdownBlockReason();
  void finishExit(bool interruptWebServer);
  void endOfRunTeardown();
  void releaseServerJobs();

  // Folders.
  std::wstring EffectiveWorkingDirectory() const;

  // Virtual drive.
  void mapVirtualDrive();

  // Servers.
  std::wstring webServerCommand() const;
  void startDatabase();
  bool startWebServer();
  // Starts server and writes the lines of its start; its end is then watched for.
  bool startServer(Server& server, WPARAM notice, const std::wstring& command, const std::wstring& folder,
                   bool hideWindow);
  void supervise();
  // A server's end notice (WM_SERVER_ENDED), or an end the tick found where no wait could be had.
  void onServerEnded(WPARAM notice, LPARAM startCount);
  void serverEnded(Server& server);
  bool everyConfiguredServerRuns(DWORD now) const;
  bool exiting() const { return phase != LauncherPhase::Starting && phase != LauncherPhase::Running; }
  void announceAllStarted();
  // Shows the log window when hidden, and the balloon text in the tray when given.
  void callAttention(const wchar_t* balloonText);
  // A red line naming the program that listens on port, when one does.
  void reportPortOwner(USHORT port);

  // Start page: opened once the web server answers on its port.
  void beginStartPageProbe();
  void onStartPageProbeAnswer(WPARAM socket, LPARAM event);
  void onStartPageProbeTimer();
  void startPageAttemptFailed();
  void startPageAnswered();
  void endStartPageProbe();

  // The Journal, for the servers' logic.
  void appendJournal(const std::wstring& text, bool isError, bool isSuccess);
  // activate: brought to the foreground too (never while the session ends).
  void showLogWindow(bool show, bool activate = true);
  void hideLogWindow();

  // Tray: the menu for the configured servers; the icon, tried again on TIMER_TRAY_RETRY until
  // the shell takes it (the first add returns false when the shell refused it for now).
  void buildTrayMenu();
  bool addTrayIcon();
  void releaseTrayAndMenu();
  // At TaskbarCreated and on TIMER_TRAY_RETRY: the icon again, until the shell holds it.
  void restoreTrayIcon();
};

// Error message box of the start-up sequence (no owner, the program's caption, error icon).
void showStartupError(const std::wstring& text);
