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
  const std::string longReason(20000, 'x');
  const struct {
    std::string bytes;
    bool ended;
    StatusClass expected;
    std::string line;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nServer: x\r\n", false, StatusClass::good, "HTTP/1.1 200 OK"},
      {"HTTP/1.0 302 Found\n", false, StatusClass::good, "HTTP/1.0 302 Found"},
      {"HTTP/1.1 399\r\n", false, StatusClass::good, "HTTP/1.1 399"},
      {"HTTP/1.1 400 Bad Request\r\n", false, StatusClass::clientError, "HTTP/1.1 400 Bad Request"},
      {"HTTP/1.1 499 x\r\n", false, StatusClass::clientError, "HTTP/1.1 499 x"},
      {"HTTP/1.1 500 Internal Server Error\r\n", false, StatusClass::serverError, "HTTP/1.1 500 Internal Server Error"},
      {"HTTP/2 599 Whatever", true, StatusClass::serverError, "HTTP/2 599 Whatever"},
      // Not yet a line: more may come.
      {"", false, StatusClass::incomplete, ""},
      {"HTT", false, StatusClass::incomplete, ""},
      {"HTTP/1.1 500 Internal", false, StatusClass::incomplete, ""},
      // A line that never ends is judged at the read limit.
      {"HTTP/1.1 503 " + longReason, false, StatusClass::serverError,
       "HTTP/1.1 503 " + longReason.substr(0, 8192 - 13)},
      // What no web server sends, known as soon as it shows.
      {"SSH-2.0-OpenSSH_9.0\r\n", false, StatusClass::notHttp, ""},
      {std::string("J\0\0\0\x0a"
                   "8.0.36",
                   11),
       false, StatusClass::notHttp, ""},
      {"http/1.1 200 OK\r\n", false, StatusClass::notHttp, ""},
      {"HTTP/1.1 600 Beyond\r\n", false, StatusClass::notHttp, "HTTP/1.1 600 Beyond"},
      {"HTTP/1.1 099 Below\r\n", false, StatusClass::notHttp, "HTTP/1.1 099 Below"},
      {"HTTP/1.1 2000 OK\r\n", false, StatusClass::notHttp, "HTTP/1.1 2000 OK"},
      {"HTTP/1.1 20 OK\r\n", false, StatusClass::notHttp, "HTTP/1.1 20 OK"},
      {"HTTP/x 200 OK\r\n", false, StatusClass::notHttp, "HTTP/x 200 OK"},
      {"HTTP/1.1\r\n", false, StatusClass::notHttp, "HTTP/1.1"},
      {"HTTP/1", true, StatusClass::notHttp, "HTTP/1"},
      {"", true, StatusClass::notHttp, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 40));
    std::string line;
    EXPECT_EQ(c.expected, ClassifyStatusLine(c.bytes, c.ended, &line));
    if (!c.line.empty()) {
      EXPECT_EQ(c.line, line);
    }
  }
}

TEST(StatusLine, IsShownCutWithNoControlCharacters) {
  EXPECT_EQ(L"HTTP/1.1 500 Ошибка?x",
            StatusLineText("HTTP/1.1 500 \xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0\x1bx"));
  std::wstring cut = StatusLineText("HTTP/1.1 500 " + std::string(1000, 'y'));
  EXPECT_EQ(kStatusLineShown, cut.size());
  EXPECT_EQ(0u, cut.find(L"HTTP/1.1 500 yyy"));
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

// What comes back on a real connection, read in whatever pieces the socket gives.
TEST(StartPageProbe, AsksForTheStartPageAndReadsItsStatusLine) {
  const struct {
    const char* name;
    std::string reply;
    ProbeAnswer answer;
    StatusClass status;
  } cases[] = {
      {"ok", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ProbeAnswer::answered, StatusClass::good},
      {"error", "HTTP/1.1 500 Internal Server Error\r\n\r\n", ProbeAnswer::answered, StatusClass::serverError},
      {"no line end", "HTTP/1.0 404 Not Found", ProbeAnswer::answered, StatusClass::clientError},
      {"100 KB line", "HTTP/1.1 500 " + std::string(100000, 'z'), ProbeAnswer::answered, StatusClass::serverError},
      {"other", "220 mail.example ESMTP\r\n", ProbeAnswer::answered, StatusClass::notHttp},
      {"closed without a word", "", ProbeAnswer::refused, StatusClass::incomplete},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::LoopbackListener listener;
    ASSERT_NE(listener.port, 0);
    listener.answer(c.reply);
    ProbeWindow window;
    StartPageProbe probe;
    ASSERT_TRUE(probe.begin(window.window, kProbeMessage, listener.port));
    EXPECT_EQ(c.answer, window.wait(probe, e2e::kTimeoutMs));
    EXPECT_EQ(c.status, probe.status);
    EXPECT_FALSE(probe.inFlight());
    EXPECT_LE(probe.statusLine.size(), kStatusLineLimit);
    listener.close();
    EXPECT_EQ("GET /start.php HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n", listener.lastRequest);
  }
}

TEST(StartPageProbe, ASilentServerKeepsTheConnectionWaiting) {
  e2e::LoopbackListener listener;  // takes the connection, never answers
  ASSERT_NE(listener.port, 0);
  ProbeWindow window;
  StartPageProbe probe;
  ASSERT_TRUE(probe.begin(window.window, kProbeMessage, listener.port));
  ASSERT_TRUE(e2e::waitFor(
      [&] {
        EXPECT_EQ(ProbeAnswer::none, window.wait(probe, 10));
        return probe.connected();
      },
      e2e::kTimeoutMs));
  EXPECT_TRUE(probe.connected());
  EXPECT_TRUE(probe.inFlight());
}
