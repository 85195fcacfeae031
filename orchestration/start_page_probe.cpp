#include "orchestration/start_page_probe.h"

#include <ws2tcpip.h>

namespace {

void closeSocket(SOCKET& socket) {
  if (socket != INVALID_SOCKET) {
    closesocket(socket);
    socket = INVALID_SOCKET;
  }
}

// A socket that reports the end of its connection attempt to window; INVALID_SOCKET on failure.
SOCKET connectAsync(HWND window, UINT message, const sockaddr* address, int size) {
  SOCKET socket = ::socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return socket;
  // Makes the socket non-blocking too.
  if (WSAAsyncSelect(socket, window, message, FD_CONNECT) != 0 ||
      (connect(socket, address, size) != 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
    closeSocket(socket);
  }
  return socket;
}

}  // namespace

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
  for (SOCKET& each : sockets) {
    if (each == INVALID_SOCKET || each != static_cast<SOCKET>(socket)) continue;
    if (WSAGETSELECTEVENT(event) != FD_CONNECT) return ProbeAnswer::none;
    if (WSAGETSELECTERROR(event) == 0) {
      close();
      return ProbeAnswer::answered;
    }
    closeSocket(each);
    return inFlight() ? ProbeAnswer::none : ProbeAnswer::refused;
  }
  return ProbeAnswer::none;
}

bool StartPageProbe::inFlight() const {
  return sockets[0] != INVALID_SOCKET || sockets[1] != INVALID_SOCKET;
}

void StartPageProbe::close() {
  for (SOCKET& each : sockets) closeSocket(each);
}
