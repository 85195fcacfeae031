#include "tests/support/loopback_listener.h"

#include <ws2tcpip.h>

namespace e2e {

LoopbackListener::LoopbackListener() {
  winsockStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  if (!winsockStarted) return;
  socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(socket, 4) != 0 ||
      getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close();
    return;
  }
  port = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
  close();
  if (winsockStarted) WSACleanup();
}

void LoopbackListener::close() {
  if (socket != INVALID_SOCKET) {
    closesocket(socket);
    socket = INVALID_SOCKET;
  }
}

}  // namespace e2e
