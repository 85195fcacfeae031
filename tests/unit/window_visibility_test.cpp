#include "win/window_visibility.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/e2e_support.h"

namespace {

struct ServerWindows {
  std::vector<HWND> topLevel;  // of class FakeServerWindow
  HWND popup = nullptr;
};

ServerWindows findWindows(DWORD pid) {
  ServerWindows found;
  for (HWND window : e2e::topLevelWindows(pid)) {
    std::wstring name = e2e::windowClass(window);
    if (name == L"FakeServerWindow") found.topLevel.push_back(window);
    if (name == L"FakeServerPopup") found.popup = window;
  }
  return found;
}

bool allVisible(const std::vector<HWND>& windows, bool visible) {
  for (HWND window : windows) {
    if ((IsWindowVisible(window) != FALSE) != visible) return false;
  }
  return true;
}

TEST(WindowVisibility, ShowsAndHidesEveryUnownedWindowAndLeavesPopupsAlone) {
  e2e::TempFolder temp{L"windows"};
  std::wstring marker = temp.file(L"m.txt");
  e2e::Process server;
  ASSERT_TRUE(server.start(e2e::fakeServer(L"--marker \"" + marker + L"\" --window one --window two --popup")));
  auto windowLines = [&] {
    int count = 0;
    for (const std::wstring& line : e2e::markerLines(marker)) count += line.compare(0, 7, L"window=") == 0;
    return count;
  };
  ASSERT_TRUE(e2e::waitFor([&] { return windowLines() == 3; }, 10000));
  ServerWindows windows = findWindows(server.pid);
  ASSERT_EQ(windows.topLevel.size(), 2u);
  ASSERT_NE(windows.popup, nullptr);
  ASSERT_TRUE(IsWindowVisible(windows.popup));

  EXPECT_EQ(applyWindowVisibility(server.pid, false), nullptr);
  EXPECT_TRUE(e2e::waitFor([&] { return allVisible(windows.topLevel, false); }, 5000));
  EXPECT_TRUE(IsWindowVisible(windows.popup));
  // Asking again for the state they are in changes nothing.
  EXPECT_EQ(applyWindowVisibility(server.pid, false), nullptr);

  HWND first = applyWindowVisibility(server.pid, true);
  EXPECT_TRUE(e2e::waitFor([&] { return allVisible(windows.topLevel, true); }, 5000));
  ASSERT_NE(first, nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(first, &owner);
  EXPECT_EQ(owner, server.pid);
  EXPECT_EQ(GetParent(first), nullptr);
  EXPECT_NE(first, windows.popup);
  EXPECT_TRUE(IsWindowVisible(windows.popup));
}

TEST(WindowVisibility, ProcessWithoutWindowsGivesNull) {
  e2e::Process server;
  ASSERT_TRUE(server.start(e2e::fakeServer(L"")));
  EXPECT_EQ(applyWindowVisibility(server.pid, true), nullptr);
  EXPECT_EQ(applyWindowVisibility(server.pid, false), nullptr);
  EXPECT_EQ(applyWindowVisibility(0, true), nullptr);
}

}  // namespace
