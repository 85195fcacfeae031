#include "orchestration/start_page_probe.h"

#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"
#include "tests/support/loopback_listener.h"

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

}  // namespace

TEST(StatusLine, IsClassifiedByItsCodeOnceItIsWhole) {
  const std::string longReason(100000, 'x');
  const struct {
    std::string bytes;
    bool ended;
    StatusClass expected;
  } cases[] = {
      {"HTTP/1.1 399 x\r\nServer: x\r\n", false, StatusClass::good},
      {"HTTP/1.0 400 Bad Request\n", false, StatusClass::clientError},
      {"HTTP/1.1 499", true, StatusClass::clientError},
      {"HTTP/2 500 Internal Server Error\r\n", false, StatusClass::serverError},
      {"HTTP/1.1 500 Internal", false, StatusClass::incomplete},
      // A line that never ends is judged at the read limit.
      {"HTTP/1.1 599 " + longReason, false, StatusClass::serverError},
      // What no web server sends is known as soon as it shows.
      {"SSH-2.0-OpenSSH_9.0", false, StatusClass::notHttp},
      {std::string("J\0\0\0\x0a", 5), false, StatusClass::notHttp},
      {"HTTP/1.1 600 Beyond\r\n", false, StatusClass::notHttp},
      {"HTTP/1.1 099 Below\r\n", false, StatusClass::notHttp},
      {"HTTP/1.1 2000 OK\r\n", false, StatusClass::notHttp},
      {"HTTP/x 200 OK\r\n", false, StatusClass::notHttp},
      {"HTTP/1", true, StatusClass::notHttp},
  };
  for (const auto& c : cases) {
    std::string line;
    EXPECT_EQ(c.expected, ClassifyStatusLine(c.bytes, c.ended, &line)) << c.bytes.substr(0, 30);
    EXPECT_LE(line.size(), kStatusLineLimit);
  }
  EXPECT_EQ(kStatusLineShown, StatusLineText("HTTP/1.1 599 " + longReason).size());
}

TEST(StartPageProbe, ClosedPortIsNeverTakenForAnAnswer) {
  ProbeWindow window;
  StartPageProbe probe;
  e2e::LoopbackListener listener;
  USHORT port = listener.port;
  ASSERT_NE(port, 0);
  listener.close();
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!probe.begin(window.window, kProbeMessage, port)) continue;  // refused at once
    EXPECT_NE(window.wait(probe, kStartPageAttemptMs), ProbeAnswer::answered) << "attempt " << attempt;
    probe.close();
  }
}
