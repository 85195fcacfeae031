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

TEST(StartPageProbe, ListeningPortAnswers) {
  e2e::LoopbackListener listener;
  ASSERT_NE(listener.port, 0);

  ProbeWindow window;
  StartPageProbe probe;
  ASSERT_TRUE(probe.begin(window.window, kProbeMessage, listener.port));
  EXPECT_EQ(window.wait(probe, e2e::kTimeoutMs), ProbeAnswer::answered);
  EXPECT_FALSE(probe.inFlight());
}

}  // namespace
