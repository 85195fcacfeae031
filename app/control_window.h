#pragma once

#include <windows.h>

#include "ui/tray_icon.h"

// The hidden control window: the tray icon, the tray menu and both timers talk to it.
constexpr wchar_t kControlWindowClass[] = L"WendlorStarterWindowClass";
constexpr wchar_t kControlWindowTitle[] = L"Wendlor";

constexpr UINT WM_TRAYICON = WM_APP + 10;
constexpr UINT WM_SHOWPROCESSWINDOWS = WM_APP + 11;
// A connection attempt to the start page's port has ended (WSAAsyncSelect).
constexpr UINT WM_START_PAGE_PROBE = WM_APP + 12;
// A server's process has ended: wParam tells which server, lParam which start of it.
constexpr UINT WM_SERVER_ENDED = WM_APP + 13;

constexpr UINT_PTR TIMER_SUPERVISE = 1;
constexpr UINT_PTR TIMER_STARTUP = 2;
// Runs only while the start page waits for the web server to answer.
constexpr UINT_PTR TIMER_START_PAGE = 4;
constexpr UINT kStartupTimerPeriodMs = 100;
// Fire once, at the bound of a wait for a server to end on its Ctrl+C (at Exit, or to restart
// it); the end itself arrives as a notice.
constexpr UINT_PTR TIMER_DATABASE_STOP = 3;
constexpr UINT_PTR TIMER_WEB_SERVER_STOP = 6;
// Runs while a server asked by Ctrl+C may yet create its shutdown event (one still starting).
constexpr UINT_PTR TIMER_SHUTDOWN_EVENT = 7;
constexpr UINT kShutdownEventRetryMs = 100;
// Runs while the shell has not taken the tray icon: the add is tried again.
constexpr UINT_PTR TIMER_TRAY_RETRY = 5;
constexpr UINT kTrayRetryPeriodMs = 3000;

// The tray menu's own items carry the first three.
constexpr UINT IDM_TOGGLE_WINDOWS = kTrayToggleCommand;
constexpr UINT IDM_STOP_AND_EXIT = 1002;
constexpr UINT IDM_EXIT = kTrayExitCommand;
constexpr UINT IDM_ABOUT = kTrayAboutCommand;
// Restart (or start, when it is not running) one server; accepted from other programs too.
constexpr UINT IDM_RESTART_WEB_SERVER = 1005;
constexpr UINT IDM_RESTART_DATABASE = 1006;

LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
