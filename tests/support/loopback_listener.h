#pragma once

// A TCP listener of this process on 127.0.0.1 and a port the system picks.

#include <windows.h>
#include <winsock2.h>

#include <mutex>
#include <string>

namespace e2e {

struct LoopbackListener {
  WSADATA data{};
  bool winsockStarted = false;
  SOCKET socket = INVALID_SOCKET;
  USHORT port = 0;  // 0 when it does not listen
  // Once answering: a thread that reads each request's head, sends the reply and closes.
  HANDLE thread = nullptr;
  std::mutex lock;
  std::string reply;
  std::string lastRequest;
  int requests = 0;

  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  // Answers every connection from now on with bytes (which may be changed later); until then a
  // connection is taken by the system and never answered.
  void answer(const std::string& bytes);
  // Stops listening; the port then is one that nothing listens on.
  void close();
};

}  // namespace e2e
