#include "tests/support/loopback_listener.h"

#include <ws2tcpip.h>

namespace e2e {

namespace {

DWORD WINAPI serve(void* param) {
  LoopbackListener& listener = *static_cast<LoopbackListener*>(param);
  for (;;) {
    SOCKET client = accept(listener.socket, nullptr, nullptr);
    if (client == INVALID_SOCKET) return 0;
    std::string request;
    char buffer[1024];
    int got;
    while (request.find("\r\n\r\n") == std::string::npos && (got = recv(client, buffer, sizeof buffer, 0)) > 0)
      request.append(buffer, static_cast<size_t>(got));
    std::string reply;
    {
      std::lock_guard<std::mutex> hold(listener.lock);
      listener.lastRequest = request;
      ++listener.requests;
      reply = listener.reply;
    }
    // A client that stops reading ends the send with an error; the rest is not needed.
    if (!reply.empty()) send(client, reply.data(), static_cast<int>(reply.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
  }
}

}  // namespace

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

void LoopbackListener::answer(const std::string& bytes) {
  {
    std::lock_guard<std::mutex> hold(lock);
    reply = bytes;
  }
  if (!thread && socket != INVALID_SOCKET) thread = CreateThread(nullptr, 0, serve, this, 0, nullptr);
}

void LoopbackListener::close() {
  if (socket != INVALID_SOCKET) {
    closesocket(socket);
    socket = INVALID_SOCKET;
  }
  // The closed socket ends the thread's accept.
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
  }
}

}  // namespace e2e
