#include "orchestration/start_page_probe.h"

#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"

namespace {

constexpr UINT kProbeMessage = WM_APP + 50;

// A message-only window that collects the probe's answers.
struct ProbeWindow {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ~ProbeWindow() { DestroyWindow(window); }

  // Pumps messages until the probe gives an answer other than none, or the deadline.
  ProbeAnswer wait(StartPageProbe& probe, DWORD timeoutMs) {
    ProbeAnswer result = ProbeAnswer::none;
    e2e::waitFor(
        [&] {
          MSG message;
          while (result == ProbeAnswer::none && PeekMessageW(&message, window, kProbeMessage, kProbeMessage, PM_REMOVE))
            result = probe.answer(message.wParam, message.lParam);
          return result != ProbeAnswer::none;
        },
        timeoutMs, 10);
    return result;
  }
};

// A port of this machine that nothing listens on: bound, then let go.
USHORT freePort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  closesocket(s);
  return ntohs(address.sin_port);
}

struct StartPageProbeTest : ::testing::Test {
  WSADATA data{};
  void SetUp() override { ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0); }
  void TearDown() override { WSACleanup(); }
};

TEST_F(StartPageProbeTest, ClosedPortIsNeverTakenForAnAnswer) {
  ProbeWindow window;
  StartPageProbe probe;
  USHORT port = freePort();
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!probe.begin(window.window, kProbeMessage, port)) continue;  // refused at once
    EXPECT_NE(window.wait(probe, kStartPageAttemptMs), ProbeAnswer::answered) << "attempt " << attempt;
    probe.close();
  }
}

TEST_F(StartPageProbeTest, ListeningPortAnswers) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  int size = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);

  ProbeWindow window;
  StartPageProbe probe;
  ASSERT_TRUE(probe.begin(window.window, kProbeMessage, ntohs(address.sin_port)));
  EXPECT_EQ(window.wait(probe, e2e::kTimeoutMs), ProbeAnswer::answered);
  EXPECT_FALSE(probe.inFlight());
  closesocket(listener);
}

}  // namespace
