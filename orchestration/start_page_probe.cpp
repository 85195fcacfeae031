#include "orchestration/start_page_probe.h"

#include <ws2tcpip.h>

#include "win/text.h"

namespace {

const char kRequest[] = "GET /start.php HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
const char kHttpPrefix[] = "HTTP/";
constexpr size_t kHttpPrefixLength = sizeof kHttpPrefix - 1;

void closeSocket(SOCKET& socket) {
  if (socket != INVALID_SOCKET) {
    closesocket(socket);
    socket = INVALID_SOCKET;
  }
}

// A socket that reports its connection and what follows to window; INVALID_SOCKET on failure.
SOCKET connectAsync(HWND window, UINT message, const sockaddr* address, int size) {
  SOCKET socket = ::socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return socket;
  // Makes the socket non-blocking too.
  if (WSAAsyncSelect(socket, window, message, FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE) != 0 ||
      (connect(socket, address, size) != 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
    closeSocket(socket);
  }
  return socket;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Skips at least one digit at *at; false when there is none.
bool skipDigits(const std::string& text, size_t* at) {
  size_t start = *at;
  while (*at < text.size() && isDigit(text[*at])) ++*at;
  return *at > start;
}

// "HTTP/1.1 404 Not Found": the version (its minor number optional, as some servers write
// "HTTP/2"), one or more spaces, three digits, then a space or the line's end; 0 when it is not.
int statusCode(const std::string& line) {
  if (line.compare(0, kHttpPrefixLength, kHttpPrefix) != 0) return 0;
  size_t at = kHttpPrefixLength;
  if (!skipDigits(line, &at)) return 0;
  if (at < line.size() && line[at] == '.') {
    ++at;
    if (!skipDigits(line, &at)) return 0;
  }
  size_t spaces = at;
  while (at < line.size() && line[at] == ' ') ++at;
  if (at == spaces || at + 3 > line.size()) return 0;
  for (size_t i = at; i < at + 3; ++i)
    if (!isDigit(line[i])) return 0;
  if (at + 3 < line.size() && line[at + 3] != ' ') return 0;
  return (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
}

}  // namespace

StatusClass ClassifyStatusLine(const std::string& bytes, bool ended, std::string* line) {
  // Anything that cannot grow into "HTTP/" is known at once, a binary greeting included.
  if (bytes.compare(0, kHttpPrefixLength, kHttpPrefix, 0,
                    bytes.size() < kHttpPrefixLength ? bytes.size() : kHttpPrefixLength) != 0)
    return StatusClass::notHttp;
  size_t end = bytes.find('\n');
  bool whole = end != std::string::npos || ended || bytes.size() >= kStatusLineLimit;
  if (!whole) return StatusClass::incomplete;
  std::string text = bytes.substr(0, end == std::string::npos ? kStatusLineLimit : end);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (line) *line = text;
  int code = statusCode(text);
  if (code >= 100 && code <= 399) return StatusClass::good;
  if (code >= 400 && code <= 499) return StatusClass::clientError;
  if (code >= 500 && code <= 599) return StatusClass::serverError;
  return StatusClass::notHttp;
}

std::wstring StatusLineText(const std::string& line) {
  std::wstring text = decodeText(CP_UTF8, line.data(), line.size());
  if (text.size() > kStatusLineShown) text.resize(kStatusLineShown);
  for (wchar_t& c : text)
    if (c < L' ') c = L'?';
  return text;
}

StartPageProbe::~StartPageProbe() {
  close();
  if (winsockStarted) {
    WSACleanup();
    winsockStarted = false;
  }
}

bool StartPageProbe::begin(HWND window, UINT message, USHORT port) {
  close();
  if (!winsockStarted) {
    WSADATA data;
    winsockStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    if (!winsockStarted) return false;
  }
  attemptTick = GetTickCount();
  status = StatusClass::incomplete;
  statusLine.clear();

  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_port = htons(port);
  v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sockets[0] = connectAsync(window, message, reinterpret_cast<const sockaddr*>(&v4), sizeof v4);

  sockaddr_in6 v6{};
  v6.sin6_family = AF_INET6;
  v6.sin6_port = htons(port);
  v6.sin6_addr = in6addr_loopback;
  sockets[1] = connectAsync(window, message, reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
  return inFlight();
}

ProbeAnswer StartPageProbe::answer(WPARAM socket, LPARAM event) {
  for (int i = 0; i < 2; ++i) {
    SOCKET& each = sockets[i];
    if (each == INVALID_SOCKET || each != static_cast<SOCKET>(socket)) continue;
    if (connectedIndex < 0) {
      if (WSAGETSELECTEVENT(event) != FD_CONNECT) return ProbeAnswer::none;
      if (WSAGETSELECTERROR(event) != 0) {
        closeSocket(each);
        return inFlight() ? ProbeAnswer::none : ProbeAnswer::refused;
      }
      // The first connection made is the one asked; the other is not needed.
      connectedIndex = i;
      closeSocket(sockets[1 - i]);
      requestTick = GetTickCount();
      sendRequest();
      return ProbeAnswer::none;
    }
    switch (WSAGETSELECTEVENT(event)) {
      case FD_WRITE:
        sendRequest();
        return ProbeAnswer::none;
      case FD_READ:
        return readReply(false);
      case FD_CLOSE:
        return readReply(true);
      default:
        return ProbeAnswer::none;
    }
  }
  return ProbeAnswer::none;
}

// The request is small, but a send may still take only part of it: FD_WRITE tells when to go on.
void StartPageProbe::sendRequest() {
  SOCKET socket = sockets[connectedIndex];
  while (requestSent < sizeof kRequest - 1) {
    int sent = send(socket, kRequest + requestSent, static_cast<int>(sizeof kRequest - 1 - requestSent), 0);
    if (sent <= 0) return;  // would block, or an error that the read or close then reports
    requestSent += static_cast<size_t>(sent);
  }
}

ProbeAnswer StartPageProbe::readReply(bool ended) {
  SOCKET socket = sockets[connectedIndex];
  char buffer[1024];
  while (reply.size() < kStatusLineLimit) {
    size_t room = kStatusLineLimit - reply.size();
    int got = recv(socket, buffer, static_cast<int>(room < sizeof buffer ? room : sizeof buffer), 0);
    if (got > 0) {
      reply.append(buffer, static_cast<size_t>(got));
      continue;
    }
    // 0 is the orderly end; an error other than "nothing yet" ends the answer too.
    if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) ended = true;
    break;
  }
  if (ended && reply.empty()) {
    close();
    return ProbeAnswer::refused;
  }
  std::string line;
  StatusClass kind = ClassifyStatusLine(reply, ended, &line);
  if (kind == StatusClass::incomplete) return ProbeAnswer::none;
  close();
  status = kind;
  statusLine = line;
  return ProbeAnswer::answered;
}

bool StartPageProbe::inFlight() const {
  return sockets[0] != INVALID_SOCKET || sockets[1] != INVALID_SOCKET;
}

void StartPageProbe::close() {
  for (SOCKET& each : sockets) closeSocket(each);
  connectedIndex = -1;
  requestSent = 0;
  reply.clear();
}
