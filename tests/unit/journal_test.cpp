#include "ui/journal.h"

#include <richedit.h>
#include <gtest/gtest.h>

#include "app/application.h"
#include "tests/support/e2e_support.h"

namespace {

struct JournalTest : ::testing::Test {
  Application app;
  void SetUp() override { ASSERT_TRUE(app.createLogWindow(GetModuleHandleW(nullptr))); }

  std::wstring text() { return e2e::windowText(app.journalEdit); }
  std::vector<e2e::JournalEntry> entries() { return e2e::readJournal(app.journalEdit); }
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
  // Whole on the screen it opens on.
  RECT r;
  GetWindowRect(app.logWindow, &r);
  RECT work;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_GT(r.right - r.left, 0);
  EXPECT_GT(r.bottom - r.top, 0);
  EXPECT_LE(r.right - r.left, work.right - work.left);
  EXPECT_LE(r.bottom - r.top, work.bottom - work.top);
}

TEST_F(JournalTest, LinesHaveTimestampTextAndCrLf) {
  app.appendJournal(L"первая строка", false, false);
  app.appendJournal(L"", false, false);
  app.appendJournal(L"две\r\nстроки", true, false);
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
  app.appendJournal(L"plain", false, false);
  app.appendJournal(L"error", true, false);
  app.appendJournal(L"success", false, true);
  app.appendJournal(L"both flags", true, true);
  app.appendJournal(L"multi\r\nline", false, true);
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
  app.showLogWindow(true);
  for (SIZE size : {SIZE{600, 400}, SIZE{900, 700}, SIZE{300, 200}}) {
    SCOPED_TRACE(std::to_string(size.cx) + "x" + std::to_string(size.cy));
    SetWindowPos(app.logWindow, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
    RECT client;
    GetClientRect(app.logWindow, &client);
    RECT exit = rectIn(app.logWindow, app.exitButton);
    RECT collapse = rectIn(app.logWindow, app.collapseButton);
    RECT edit = rectIn(app.logWindow, app.journalEdit);
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
  app.showLogWindow(true);
  EXPECT_TRUE(IsWindowVisible(app.logWindow));
  app.showLogWindow(false);
  EXPECT_FALSE(IsWindowVisible(app.logWindow));
  EXPECT_FALSE(app.logWindowVisible);
  for (int i = 0; i < 60; ++i) app.appendJournal(L"line " + std::to_wstring(i), i % 2 == 0, false);
  app.showLogWindow(true);
  EXPECT_TRUE(app.logWindowVisible);
  std::vector<std::wstring> got = e2e::entryTexts(entries());
  ASSERT_EQ(got.size(), 60u);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], L"line " + std::to_wstring(i));
  // The view is at the end: the last line is on screen.
  LRESULT last = SendMessageW(app.journalEdit, EM_GETLINECOUNT, 0, 0) - 1;
  LRESULT first = SendMessageW(app.journalEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first, 0);
  EXPECT_LE(first, last);
}

// A rich edit left at its default limit holds 32,767 characters and cuts what goes past it.
TEST_F(JournalTest, MoreThanTheDefaultLimitOfARichEditStaysWhole) {
  const int count = 800;
  auto line = [](int i) { return L"строка " + std::to_wstring(i) + L": " + std::wstring(30, L'ж') + L" конец"; };
  size_t written = 0;
  for (int i = 0; i < count; ++i) {
    app.appendJournal(line(i), false, false);
    written += line(i).size() + 24;  // with "[dd.mm.yyyy hh:mm:ss] " and CR LF
  }
  ASSERT_GT(written, 45000u);
  std::vector<std::wstring> got = e2e::entryTexts(entries());
  ASSERT_EQ(got.size(), static_cast<size_t>(count));
  EXPECT_EQ(got.front(), line(0));
  EXPECT_EQ(got.back(), line(count - 1));
  for (int i = 0; i < count; ++i) ASSERT_EQ(got[static_cast<size_t>(i)], line(i)) << "entry " << i;
}

TEST_F(JournalTest, CloseBoxAndCollapseOnlyHide) {
  app.trayAdded = true;  // the tray icon brings the window back
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

TEST_F(JournalTest, WithoutTheTrayIconItStaysAfterTheStartAndMinimizesInsteadOfHiding) {
  app.showLogWindow(true);
  app.announceAllStarted();
  EXPECT_TRUE(IsWindowVisible(app.logWindow));
  EXPECT_FALSE(IsIconic(app.logWindow));
  EXPECT_TRUE(app.logWindowVisible);
  EXPECT_EQ(entries().back().text, L"Все процессы успешно запущены.");

  SendMessageW(app.logWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(app.logWindow));  // its taskbar button stays
  EXPECT_TRUE(IsIconic(app.logWindow));
  app.showLogWindow(true);
  EXPECT_FALSE(IsIconic(app.logWindow));
  SendMessageW(app.logWindow, WM_COMMAND, MAKEWPARAM(IDC_LOG_COLLAPSE, BN_CLICKED),
               reinterpret_cast<LPARAM>(app.collapseButton));
  EXPECT_TRUE(IsWindowVisible(app.logWindow));
  EXPECT_TRUE(IsIconic(app.logWindow));
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

  // Once the icon is there, the announcement hides it as before.
  app.trayAdded = true;
  app.showLogWindow(true);
  app.announceAllStarted();
  EXPECT_FALSE(IsWindowVisible(app.logWindow));
  EXPECT_EQ(entries().back().text, L"Все процессы успешно запущены. Окно журнала скрыто.");
}

TEST_F(JournalTest, ExitButtonWritesItsLineAndEndsTheLoop) {
  SendMessageW(app.logWindow, WM_COMMAND, MAKEWPARAM(IDC_LOG_EXIT, BN_CLICKED),
               reinterpret_cast<LPARAM>(app.exitButton));
  std::vector<e2e::JournalEntry> got = entries();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().text, L"Завершение работы программы...");
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
