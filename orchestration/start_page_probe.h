#pragma once

#include <windows.h>
#include <winsock2.h>

// The application's start page on the local web server, and the port it is served on.
constexpr wchar_t kStartPageUrl[] = L"http://localhost/start.php";
constexpr USHORT kStartPagePort = 80;

// How long the Launcher waits for the web server to answer on the start page's port before it
// says that it does not, how long one connection attempt may take, and how often one is made.
constexpr DWORD kStartPageWaitMs = 30000;
constexpr DWORD kStartPageAttemptMs = 2000;
constexpr UINT kStartPageProbePeriodMs = 500;

enum class ProbeAnswer { none, answered, refused };

// Connection attempts to a port of this machine, on both loopback addresses, that never block:
// each socket tells the window of its outcome with a message (WSAAsyncSelect).
struct StartPageProbe {
  SOCKET sockets[2] = {INVALID_SOCKET, INVALID_SOCKET};  // 127.0.0.1 and ::1
  DWORD attemptTick = 0;
  bool winsockStarted = false;

  StartPageProbe() = default;
  ~StartPageProbe();
  StartPageProbe(const StartPageProbe&) = delete;
  StartPageProbe& operator=(const StartPageProbe&) = delete;

  // Begins one attempt; false when no connection could even be begun (the attempt failed).
  bool begin(HWND window, UINT message, USHORT port);
  // The outcome of one socket's message: answered when a connection was made, refused when the
  // last connection of the attempt failed, none otherwise (a stale message included).
  ProbeAnswer answer(WPARAM socket, LPARAM event);
  bool inFlight() const;
  // Closes the attempt's sockets.
  void close();
};
