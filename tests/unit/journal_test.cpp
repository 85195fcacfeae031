#include "ui/journal.h"

#include <richedit.h>
#include <gtest/gtest.h>

#include <regex>

#include "app/application.h"
#include "tests/support/e2e_support.h"

namespace {

struct JournalTest : ::testing::Test {
  Application app;
  void SetUp() override { ASSERT_TRUE(app.createLogWindow(GetModuleHandleW(nullptr))); }

  std::wstring text() { return e2e::windowText(app.journalEdit); }

  // The colour of the character at position (the rich edit counts a line break as one character).
  COLORREF colourAt(LONG position) {
    SendMessageW(app.journalEdit, EM_SETSEL, position, position + 1);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(app.journalEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format.crTextColor;
  }

  std::vector<std::wstring> lines() {
    std::vector<std::wstring> result;
    std::wstring all = text();
    size_t start = 0;
    for (size_t end; (end = all.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
      result.push_back(all.substr(start, end - start));
    if (start < all.size()) result.push_back(all.substr(start));
    return result;
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
  EXPECT_EQ(e2e::windowClass(app.logWindow), L"WendlorLogWindow");
  EXPECT_EQ(e2e::windowText(app.logWindow), L"ZEM Wendlor: журнал работы программы");
  EXPECT_FALSE(IsWindowVisible(app.logWindow));
  EXPECT_FALSE(app.logWindowVisible);
  EXPECT_EQ(GetDlgCtrlID(app.journalEdit), IDC_JOURNAL_EDIT);
  EXPECT_EQ(_wcsicmp(e2e::windowClass(app.journalEdit).c_str(), L"RICHEDIT50W"), 0);
  EXPECT_TRUE(GetWindowLongW(app.journalEdit, GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(GetDlgCtrlID(app.exitButton), IDC_LOG_EXIT);
  EXPECT_EQ(e2e::windowText(app.exitButton), L"Выход");
  EXPECT_EQ(GetDlgCtrlID(app.collapseButton), IDC_LOG_COLLAPSE);
  EXPECT_EQ(e2e::windowText(app.collapseButton), L"Свернуть");
  EXPECT_EQ(GetWindowLongW(app.logWindow, GWL_STYLE) & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
            static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
  RECT r;
  GetWindowRect(app.logWindow, &r);
  EXPECT_EQ(r.right - r.left, kLogWindowWidth);
  EXPECT_EQ(r.bottom - r.top, kLogWindowHeight);
}

TEST_F(JournalTest, LinesHaveTimestampTextAndCrLf) {
  app.appendJournal(L"первая строка", false, false);
  app.appendJournal(L"", false, false);
  app.appendJournal(L"две\r\nстроки", true, false);
  std::vector<std::wstring> got = lines();
  ASSERT_EQ(got.size(), 4u);
  const std::wregex stamp(L"^\\[(\\d\\d)\\.(\\d\\d)\\.(\\d{4}) (\\d\\d):(\\d\\d):(\\d\\d)\\] ");
  std::wsmatch m;
  ASSERT_TRUE(std::regex_search(got[0], m, stamp)) << e2e::toUtf8(got[0]);
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(std::stoi(m[3].str()), now.wYear);
  EXPECT_EQ(std::stoi(m[2].str()), now.wMonth);
  EXPECT_EQ(got[0].substr(22), L"первая строка");
  EXPECT_EQ(got[1].size(), 22u);  // an empty text: the stamp and one space
  EXPECT_TRUE(std::regex_search(got[1], stamp));
  EXPECT_TRUE(std::regex_search(got[2], stamp));
  EXPECT_EQ(got[2].substr(22), L"две");
  EXPECT_EQ(got[3], L"строки");  // the caller's own line break gets no stamp
}

TEST_F(JournalTest, EachLineTakesTheColourOfItsKind) {
  app.appendJournal(L"plain", false, false);
  app.appendJournal(L"error", true, false);
  app.appendJournal(L"success", false, true);
  app.appendJournal(L"both flags", true, true);
  app.appendJournal(L"multi\r\nline", false, true);
  const COLORREF expected[] = {kJournalPlainColour, kJournalErrorColour,   kJournalSuccessColour,
                               kJournalErrorColour, kJournalSuccessColour, kJournalSuccessColour};
  // Rich edit text positions count each line break as one character.
  LONG position = 0;
  std::vector<std::wstring> got = lines();
  ASSERT_EQ(got.size(), 6u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(colourAt(position), expected[i]) << "stamp of line " << i;
    EXPECT_EQ(colourAt(position + static_cast<LONG>(got[i].size()) - 1), expected[i]) << "end of line " << i;
    position += static_cast<LONG>(got[i].size()) + 1;
  }
}

TEST_F(JournalTest, LayoutFollowsTheClientArea) {
  app.showLogWindow(true);
  for (SIZE size : {SIZE{600, 400}, SIZE{900, 700}, SIZE{300, 200}}) {
    SetWindowPos(app.logWindow, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
    RECT client;
    GetClientRect(app.logWindow, &client);
    RECT exit = rectIn(app.logWindow, app.exitButton);
    RECT collapse = rectIn(app.logWindow, app.collapseButton);
    RECT edit = rectIn(app.logWindow, app.journalEdit);
    EXPECT_EQ(exit.left, 10);
    EXPECT_EQ(exit.top, client.bottom - 35);
    EXPECT_EQ(exit.right - exit.left, 80);
    EXPECT_EQ(exit.bottom - exit.top, 25);
    EXPECT_EQ(collapse.left, client.right - 90);
    EXPECT_EQ(collapse.top, client.bottom - 35);
    EXPECT_EQ(collapse.right - collapse.left, 80);
    EXPECT_EQ(collapse.bottom - collapse.top, 25);
    EXPECT_EQ(edit.left, 0);
    EXPECT_EQ(edit.top, 0);
    EXPECT_EQ(edit.right, client.right);
    EXPECT_EQ(edit.bottom, client.bottom - 45);
  }
}

TEST_F(JournalTest, LinesAddedWhileHiddenAreThereWhenShown) {
  app.showLogWindow(true);
  EXPECT_TRUE(IsWindowVisible(app.logWindow));
  app.showLogWindow(false);
  EXPECT_FALSE(IsWindowVisible(app.logWindow));
  EXPECT_FALSE(app.logWindowVisible);
  for (int i = 0; i < 60; ++i) app.appendJournal(L"line " + std::to_wstring(i), i % 2 == 0, false);
  app.showLogWindow(true);
  EXPECT_TRUE(app.logWindowVisible);
  std::vector<std::wstring> got = lines();
  ASSERT_EQ(got.size(), 60u);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(got[static_cast<size_t>(i)].substr(22), L"line " + std::to_wstring(i));
  // The view is at the end: the last line is on screen.
  LRESULT last = SendMessageW(app.journalEdit, EM_GETLINECOUNT, 0, 0) - 1;
  LRESULT first = SendMessageW(app.journalEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first, 0);
  EXPECT_LE(first, last);
}

TEST_F(JournalTest, CloseBoxAndCollapseOnlyHide) {
  app.showLogWindow(true);
  SendMessageW(app.logWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(app.logWindow));
  EXPECT_FALSE(IsWindowVisible(app.logWindow));
  EXPECT_FALSE(app.logWindowVisible);
  app.showLogWindow(true);
  SendMessageW(app.logWindow, WM_COMMAND, MAKEWPARAM(IDC_LOG_COLLAPSE, BN_CLICKED),
               reinterpret_cast<LPARAM>(app.collapseButton));
  EXPECT_TRUE(IsWindow(app.logWindow));
  EXPECT_FALSE(IsWindowVisible(app.logWindow));
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(JournalTest, ExitButtonWritesItsLineAndEndsTheLoop) {
  SendMessageW(app.logWindow, WM_COMMAND, MAKEWPARAM(IDC_LOG_EXIT, BN_CLICKED),
               reinterpret_cast<LPARAM>(app.exitButton));
  EXPECT_NE(text().find(L"] Завершение работы программы...\r"), std::wstring::npos) << e2e::toUtf8(text());
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0u);
}

TEST(Journal, LinesWithoutAWindowAreDroppedAndASecondWindowWorks) {
  Application app;
  app.appendJournal(L"before", false, false);  // must not crash
  app.showLogWindow(true);
  EXPECT_FALSE(app.logWindowVisible);
  ASSERT_TRUE(app.createLogWindow(GetModuleHandleW(nullptr)));
  EXPECT_EQ(e2e::windowText(app.journalEdit), L"");

  // The class is registered already: a second log window in the same process is made anyway.
  Application second;
  ASSERT_TRUE(second.createLogWindow(GetModuleHandleW(nullptr)));
  second.appendJournal(L"second", false, false);
  EXPECT_EQ(e2e::windowText(app.journalEdit), L"");
  EXPECT_NE(e2e::windowText(second.journalEdit).find(L"second"), std::wstring::npos);

  DestroyWindow(second.logWindow);
  second.logWindow = second.journalEdit = second.exitButton = second.collapseButton = nullptr;
  second.appendJournal(L"after", false, false);  // dropped without error
}
