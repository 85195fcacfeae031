#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstddef>
#include <string>

// The application's start page on the local web server, and the port it is served on.
constexpr wchar_t kStartPageUrl[] = L"http://localhost/start.php";
constexpr USHORT kStartPagePort = 80;

// How long the Launcher waits for the web server to answer on the start page's port before it
// says that it does not, how long one connection attempt may take, and how often one is made.
constexpr DWORD kStartPageWaitMs = 30000;
constexpr DWORD kStartPageAttemptMs = 2000;
constexpr UINT kStartPageProbePeriodMs = 500;
// How long a connection made may take to send its status line, and how soon a page that failed
// with 500–599 (a database still recovering) is asked for again.
constexpr DWORD kStartPageAnswerMs = 10000;
constexpr DWORD kStartPageRetryMs = 2000;
// The most of an answer read for its status line.
constexpr size_t kStatusLineLimit = 8192;
// The most of a status line the Journal shows.
constexpr size_t kStatusLineShown = 200;

// answered: the start page's status line, or what stands in its place, is read;
// refused: the last connection of the attempt failed, or closed without a byte.
enum class ProbeAnswer { none, answered, refused };

enum class StatusClass {
  incomplete,   // more bytes could still make a status line
  good,         // 100–399
  clientError,  // 400–499
  serverError,  // 500–599
  notHttp,
};

// What the first bytes of an answer say; ended when no more will come. *line (may be null) is the
// status line as sent, without its line end (what there is when it has none).
StatusClass ClassifyStatusLine(const std::string& bytes, bool ended, std::string* line);
// A status line as the Journal shows it: decoded, control characters replaced, at most
// kStatusLineShown characters.
std::wstring StatusLineText(const std::string& line);

// Connection attempts to a port of this machine, on both loopback addresses, that never block:
// each socket tells the window of its events with a message (WSAAsyncSelect). The first
// connection made asks for the start page and reads its status line.
struct StartPageProbe {
  SOCKET sockets[2] = {INVALID_SOCKET, INVALID_SOCKET};  // 127.0.0.1 and ::1
  DWORD attemptTick = 0;
  // The socket that connected, once one has; then the request and the answer so far.
  int connectedIndex = -1;
  DWORD requestTick = 0;
  size_t requestSent = 0;
  std::string reply;
  // Once answered: the class of the answer and its status line.
  StatusClass status = StatusClass::incomplete;
  std::string statusLine;
  bool winsockStarted = false;

  StartPageProbe() = default;
  ~StartPageProbe();
  StartPageProbe(const StartPageProbe&) = delete;
  StartPageProbe& operator=(const StartPageProbe&) = delete;

  // Begins one attempt; false when no connection could even be begun (the attempt failed).
  bool begin(HWND window, UINT message, USHORT port);
  // The outcome of one socket's message: answered when the answer's status is known, refused when
  // the attempt failed, none otherwise (a stale message included). Closes the attempt at its end.
  ProbeAnswer answer(WPARAM socket, LPARAM event);
  bool inFlight() const;
  // Whether a connection was made and its status line is awaited.
  bool connected() const { return connectedIndex >= 0; }
  // Closes the attempt's sockets.
  void close();

  // The steps of answer().
  void sendRequest();
  // Reads what has come; the outcome once the status is known or the connection ended.
  ProbeAnswer readReply(bool ended);
};
