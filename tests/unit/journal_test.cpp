#include "ui/log_window.h"

#include <richedit.h>
#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"

namespace {

struct JournalTest : ::testing::Test {
  LogWindow log;
  void SetUp() override { ASSERT_TRUE(log.create(GetModuleHandleW(nullptr), nullptr)); }

  std::wstring text() { return e2e::windowText(log.edit); }
  std::vector<e2e::JournalEntry> entries() { return e2e::readJournal(log.edit); }
  void click(HWND button) {
    SendMessageW(log.window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  }
};

RECT rectIn(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

TEST_F(JournalTest, WindowAndControlsAreMadeHidden) {
  EXPECT_EQ(e2e::windowClass(log.window), L"WendlorLogWindow");
  EXPECT_EQ(e2e::windowText(log.window), L"ZEM Wendlor: журнал работы программы");
  EXPECT_FALSE(IsWindowVisible(log.window));
  EXPECT_FALSE(log.visible);
  EXPECT_EQ(_wcsicmp(e2e::windowClass(log.edit).c_str(), L"RICHEDIT50W"), 0);
  EXPECT_TRUE(GetWindowLongW(log.edit, GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(e2e::windowText(log.exitButton), L"Выход");
  EXPECT_EQ(e2e::windowText(log.collapseButton), L"Свернуть");
  // Whole on the screen it opens on.
  RECT r;
  GetWindowRect(log.window, &r);
  RECT work;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_GT(r.right - r.left, 0);
  EXPECT_GT(r.bottom - r.top, 0);
  EXPECT_LE(r.right - r.left, work.right - work.left);
  EXPECT_LE(r.bottom - r.top, work.bottom - work.top);
}

TEST_F(JournalTest, LinesHaveTimestampTextAndCrLf) {
  log.append(L"первая строка", false, false);
  log.append(L"", false, false);
  log.append(L"две\r\nстроки", true, false);
  std::vector<e2e::JournalEntry> got = entries();
  ASSERT_EQ(got.size(), 3u) << e2e::toUtf8(text());
  SYSTEMTIME now;
  GetLocalTime(&now);
  ASSERT_EQ(got[0].stamp.size(), 19u);  // "dd.mm.yyyy hh:mm:ss"
  EXPECT_EQ(std::stoi(got[0].stamp.substr(6, 4)), now.wYear);
  EXPECT_EQ(std::stoi(got[0].stamp.substr(3, 2)), now.wMonth);
  EXPECT_EQ(got[0].text, L"первая строка");
  EXPECT_FALSE(got[1].stamp.empty());  // an empty text: the stamp and one space
  EXPECT_EQ(got[1].text, L"");
  EXPECT_FALSE(got[2].stamp.empty());
  EXPECT_EQ(got[2].text, L"две\nстроки");  // the caller's own line break gets no stamp
  // Four lines, each ended by CR LF and nothing else.
  std::wstring all = text();
  EXPECT_EQ(e2e::plainLines(all).size(), all.size() - 4);
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(all.substr(all.size() - 2), L"\r\n");
}

TEST_F(JournalTest, EachLineTakesTheColourOfItsKind) {
  log.append(L"plain", false, false);
  log.append(L"error", true, false);
  log.append(L"success", false, true);
  log.append(L"both flags", true, true);
  log.append(L"multi\r\nline", false, true);
  const COLORREF expected[] = {e2e::kBlack, e2e::kRed, e2e::kGreen, e2e::kRed, e2e::kGreen};
  std::vector<e2e::JournalEntry> got = entries();
  ASSERT_EQ(got.size(), 5u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].colour, expected[i]) << "stamp of entry " << i;
    EXPECT_EQ(got[i].lastColour, expected[i]) << "end of entry " << i;
  }
}

// Whatever the size: the Journal fills the width above a band that holds both buttons, Exit at
// the left and Collapse at the right, of one size, apart and inside the window.
TEST_F(JournalTest, LayoutFollowsTheClientArea) {
  log.show();
  for (SIZE size : {SIZE{600, 400}, SIZE{900, 700}, SIZE{300, 200}}) {
    SCOPED_TRACE(std::to_string(size.cx) + "x" + std::to_string(size.cy));
    SetWindowPos(log.window, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
    RECT client;
    GetClientRect(log.window, &client);
    RECT exit = rectIn(log.window, log.exitButton);
    RECT collapse = rectIn(log.window, log.collapseButton);
    RECT edit = rectIn(log.window, log.edit);
    EXPECT_EQ(edit.left, 0);
    EXPECT_EQ(edit.top, 0);
    EXPECT_EQ(edit.right, client.right);
    for (const RECT& button : {exit, collapse}) {
      EXPECT_GE(button.top, edit.bottom);  // below the Journal
      EXPECT_LE(button.bottom, client.bottom);
      EXPECT_GT(button.left, 0);
      EXPECT_LT(button.right, client.right);
      EXPECT_GT(button.bottom - button.top, 0);
    }
    EXPECT_EQ(exit.right - exit.left, collapse.right - collapse.left);
    EXPECT_EQ(exit.bottom - exit.top, collapse.bottom - collapse.top);
    EXPECT_EQ(exit.top, collapse.top);
    EXPECT_LT(exit.right, collapse.left);
    // Both as far from their edge of the window.
    EXPECT_EQ(exit.left, client.right - collapse.right);
    // The band is no taller than it needs: as far below the buttons as above them.
    EXPECT_EQ(exit.top - edit.bottom, client.bottom - exit.bottom);
  }
}

TEST_F(JournalTest, LinesAddedWhileHiddenAreThereWhenShown) {
  log.toggle();
  EXPECT_TRUE(IsWindowVisible(log.window));
  EXPECT_TRUE(log.visible);
  log.toggle();
  EXPECT_FALSE(IsWindowVisible(log.window));
  EXPECT_FALSE(log.visible);
  for (int i = 0; i < 60; ++i) log.append(L"line " + std::to_wstring(i), i % 2 == 0, false);
  log.show();
  EXPECT_TRUE(log.visible);
  std::vector<std::wstring> got = e2e::entryTexts(entries());
  ASSERT_EQ(got.size(), 60u);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], L"line " + std::to_wstring(i));
  // The view is at the end: the last line is on screen.
  LRESULT last = SendMessageW(log.edit, EM_GETLINECOUNT, 0, 0) - 1;
  LRESULT first = SendMessageW(log.edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first, 0);
  EXPECT_LE(first, last);
}

// A rich edit left at its default limit holds 32,767 characters and cuts what goes past it.
TEST_F(JournalTest, MoreThanTheDefaultLimitOfARichEditStaysWhole) {
  const int count = 800;
  auto line = [](int i) { return L"строка " + std::to_wstring(i) + L": " + std::wstring(30, L'ж') + L" конец"; };
  size_t written = 0;
  for (int i = 0; i < count; ++i) {
    log.append(line(i), false, false);
    written += line(i).size() + 24;  // with "[dd.mm.yyyy hh:mm:ss] " and CR LF
  }
  ASSERT_GT(written, 45000u);
  std::vector<std::wstring> got = e2e::entryTexts(entries());
  ASSERT_EQ(got.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) ASSERT_EQ(got[static_cast<size_t>(i)], line(i)) << "entry " << i;
}

// The close box and Collapse never end anything. With the tray icon they hide the window; without
// it they minimise it, since its taskbar button is then the only way back.
TEST_F(JournalTest, CloseBoxAndCollapseHideToTheTrayOrMinimiseWithoutIt) {
  for (bool tray : {true, false}) {
    SCOPED_TRACE(tray ? "with the tray icon" : "without it");
    log.hidesToTray = tray;
    for (bool closeBox : {true, false}) {
      log.show();
      ASSERT_FALSE(IsIconic(log.window));
      if (closeBox) {
        SendMessageW(log.window, WM_CLOSE, 0, 0);
      } else {
        click(log.collapseButton);
      }
      EXPECT_TRUE(IsWindow(log.window));
      EXPECT_FALSE(log.visible);
      EXPECT_EQ(IsWindowVisible(log.window) != FALSE, !tray);
      EXPECT_EQ(IsIconic(log.window) != FALSE, !tray);
    }
  }
  // Shown again from the taskbar's minimised state.
  log.show();
  EXPECT_FALSE(IsIconic(log.window));
  EXPECT_TRUE(log.visible);
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(Journal, LinesWithoutAWindowAreDroppedAndASecondWindowWorks) {
  LogWindow log;
  log.append(L"before", false, false);  // must not crash
  log.show();
  log.toggle();
  EXPECT_FALSE(log.visible);
  ASSERT_TRUE(log.create(GetModuleHandleW(nullptr), nullptr));
  EXPECT_EQ(e2e::windowText(log.edit), L"");

  // The class is registered already: a second log window in the same process is made anyway.
  LogWindow second;
  ASSERT_TRUE(second.create(GetModuleHandleW(nullptr), nullptr));
  second.append(L"second", false, false);
  EXPECT_EQ(e2e::windowText(log.edit), L"");
  EXPECT_NE(e2e::windowText(second.edit).find(L"second"), std::wstring::npos);

  // Destroyed from outside, it holds no handle of it any more.
  DestroyWindow(second.window);
  EXPECT_EQ(second.window, nullptr);
  EXPECT_EQ(second.edit, nullptr);
  second.append(L"after", false, false);  // dropped without error
  second.destroy();
  log.destroy();
  log.destroy();
  EXPECT_EQ(log.window, nullptr);
}
