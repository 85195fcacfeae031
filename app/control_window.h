#pragma once

#include <windows.h>

#include "orchestration/server.h"
#include "ui/tray_icon.h"

// The hidden control window: the tray icon, the tray menu, the timers and the servers' notices
// come to it.
constexpr wchar_t kControlWindowClass[] = L"WendlorStarterWindowClass";
constexpr wchar_t kControlWindowTitle[] = L"Wendlor";

constexpr UINT WM_TRAYICON = WM_APP + 10;
constexpr UINT WM_SHOWPROCESSWINDOWS = WM_APP + 11;
// A connection attempt to the start page's port has ended (WSAAsyncSelect).
constexpr UINT WM_START_PAGE_PROBE = WM_APP + 12;
// A server's process has ended: wParam tells which server, lParam which start of it.
constexpr UINT WM_SERVER_ENDED = WM_APP + 13;

constexpr UINT_PTR TIMER_SUPERVISE = 1;
// Runs while the server stack has something under way (see ServerStack::needsFastTick).
constexpr UINT_PTR TIMER_FAST_TICK = 2;
// Runs while the shell has not taken the tray icon: the add is tried again.
constexpr UINT_PTR TIMER_TRAY_RETRY = 5;
constexpr UINT kTrayRetryPeriodMs = 3000;

// Other programs post these too. The tray menu's own items are numbered where the menu is made.
constexpr UINT IDM_TOGGLE_WINDOWS = kTrayToggleCommand;
constexpr UINT IDM_STOP_AND_EXIT = 1002;
constexpr UINT IDM_EXIT = kTrayExitCommand;
constexpr UINT IDM_ABOUT = kTrayAboutCommand;
// Restart (or start, when it is not running) one server; accepted from other programs too.
constexpr UINT IDM_RESTART_WEB_SERVER = 1005;
constexpr UINT IDM_RESTART_DATABASE = 1006;

// Each server's command and its item in the tray menu, in the menu's order.
struct ServerCommand {
  const ServerKind* kind;
  UINT command;
  const wchar_t* restartLabel;
  const wchar_t* startLabel;
};
extern const ServerCommand kServerCommands[];
extern const size_t kServerCommandCount;

LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
