#pragma once

// A TCP listener of this process on 127.0.0.1 and a port the system picks.

#include <windows.h>
#include <winsock2.h>

namespace e2e {

struct LoopbackListener {
  WSADATA data{};
  bool winsockStarted = false;
  SOCKET socket = INVALID_SOCKET;
  USHORT port = 0;  // 0 when it does not listen

  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  // Stops listening; the port then is one that nothing listens on.
  void close();
};

}  // namespace e2e
