// The tray icon against the real shell (Wine's own notification area under Xvfb).
#include "ui/tray_icon.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/e2e_support.h"

namespace {

using e2e::shellHasIcon;

constexpr UINT kCallback = WM_APP + 10;

// A plain hidden window to own icons; destroyed at the end of the test.
struct OwnerWindow {
  HWND window = nullptr;
  OwnerWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WendlorTrayTestOwner";
    RegisterClassExW(&windowClass);
    window = CreateWindowExW(0, L"WendlorTrayTestOwner", L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  }
  ~OwnerWindow() {
    if (window) DestroyWindow(window);
  }
};

HICON testIcon() {
  return CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
}

// Holds an icon of the owner and identifier in the shell, so that the tray's own add is refused, as
// when the shell is busy or an add timed out after it got there.
struct IconInTheWay {
  NOTIFYICONDATAW data{};
  explicit IconInTheWay(HWND owner) {
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_ADD, &data);
  }
  void remove() { Shell_NotifyIconW(NIM_DELETE, &data); }
};

constexpr UINT kWebCommand = 1005;
constexpr UINT kDatabaseCommand = 1006;

std::wstring label(HMENU menu, UINT command) {
  wchar_t text[64] = {};
  GetMenuStringW(menu, command, text, 64, MF_BYCOMMAND);
  return text;
}

bool greyed(HMENU menu, UINT command) {
  return (GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

// The menu is modal; end it from inside its own message loop.
void CALLBACK endMenu(HWND, UINT, UINT_PTR, DWORD) {
  EndMenu();
}

}  // namespace

TEST(Tray, AddingAgainReplacesTheFirstIconAndRemoveTakesItAway) {
  OwnerWindow first;
  OwnerWindow second;
  TrayIcon tray;
  ASSERT_TRUE(tray.add(first.window, testIcon(), kCallback, kTrayTip));
  EXPECT_TRUE(tray.wanted);
  // The same owner again: the shell would refuse a second icon with identifier 1.
  ASSERT_TRUE(tray.add(first.window, testIcon(), kCallback, kTrayTip));
  EXPECT_TRUE(shellHasIcon(first.window));
  HICON icon = testIcon();
  ASSERT_TRUE(tray.add(second.window, icon, kCallback, kTrayTip));
  EXPECT_FALSE(shellHasIcon(first.window));
  EXPECT_TRUE(shellHasIcon(second.window));
  EXPECT_EQ(icon, tray.icon);
  tray.remove();
  EXPECT_FALSE(tray.added);
  EXPECT_FALSE(shellHasIcon(second.window));
  tray.remove();  // nothing left to do
}

TEST(Tray, LongTipIsCutAt127Characters) {
  OwnerWindow owner;
  TrayIcon tray;
  std::wstring tip(200, L'Ж');
  tip[126] = L'a';
  tip[127] = L'b';
  ASSERT_TRUE(tray.add(owner.window, nullptr, kCallback, tip));
  EXPECT_EQ(tip.substr(0, 127), std::wstring(tray.iconData.szTip));
}

TEST(Tray, ReleaseGivesEverythingBackAndMayRunAnyNumberOfTimes) {
  OwnerWindow owner;
  TrayIcon tray;
  const TrayServerItem web = {kWebCommand, L"Перезапустить веб-сервер", L"Запустить веб-сервер", true};
  ASSERT_TRUE(tray.buildMenu(&web, 1));
  ASSERT_TRUE(tray.add(owner.window, testIcon(), kCallback, kTrayTip));
  HMENU menu = tray.menu;

  tray.release();
  EXPECT_FALSE(tray.added);
  EXPECT_FALSE(tray.wanted);
  EXPECT_EQ(nullptr, tray.menu);
  EXPECT_EQ(nullptr, tray.icon);
  EXPECT_FALSE(IsMenu(menu));
  EXPECT_FALSE(shellHasIcon(owner.window));
  tray.release();
  // Nothing to add again once given back.
  EXPECT_FALSE(TrayIcon().readd());
}

// The icon again after the shell lost it (a new taskbar), after the shell refused it, or when the
// shell holds it already because an add that timed out got there after all.
TEST(Tray, ReaddPutsTheSameIconBackWhateverTheShellHolds) {
  enum class Shell { Forgot, RefusedTheAdd, GotTheTimedOutAdd };
  for (Shell shell : {Shell::Forgot, Shell::RefusedTheAdd, Shell::GotTheTimedOutAdd}) {
    SCOPED_TRACE(static_cast<int>(shell));
    OwnerWindow owner;
    TrayIcon tray;
    if (shell == Shell::Forgot) {
      ASSERT_TRUE(tray.add(owner.window, testIcon(), kCallback, kTrayTip));
      NOTIFYICONDATAW forget = tray.iconData;
      forget.uFlags = 0;
      ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &forget));
    } else {
      IconInTheWay inTheWay(owner.window);
      ASSERT_FALSE(tray.add(owner.window, testIcon(), kCallback, kTrayTip));
      EXPECT_TRUE(tray.wanted);
      if (shell == Shell::RefusedTheAdd) inTheWay.remove();
    }
    EXPECT_EQ(shell == Shell::GotTheTimedOutAdd, shellHasIcon(owner.window));

    NOTIFYICONDATAW before = tray.iconData;
    ASSERT_TRUE(tray.readd());
    EXPECT_TRUE(tray.added);
    EXPECT_TRUE(shellHasIcon(owner.window));
    EXPECT_EQ(0, memcmp(&before, &tray.iconData, sizeof before));
    // While the shell holds it, asking again changes nothing.
    EXPECT_TRUE(tray.readd());
    tray.release();
    EXPECT_FALSE(shellHasIcon(owner.window));
  }
}

TEST(Tray, MenuHoldsTheShownServersAndNamesWhatEachItemWouldDo) {
  OwnerWindow owner;
  TrayIcon tray;
  const TrayServerItem items[] = {
      {kWebCommand, L"Перезапустить веб-сервер", L"Запустить веб-сервер", true},
      {kDatabaseCommand, L"Перезапустить MySQL сервер", L"Запустить MySQL сервер", false},
  };
  ASSERT_TRUE(tray.buildMenu(items, 2));
  ASSERT_TRUE(tray.add(owner.window, testIcon(), kCallback, kTrayTip));
  const UINT order[] = {kTrayToggleCommand, 0, kWebCommand, kTrayAboutCommand, kTrayExitCommand};
  ASSERT_EQ(5, GetMenuItemCount(tray.menu));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(order[i], GetMenuItemID(tray.menu, i)) << i;
  EXPECT_EQ(L"Показать/Скрыть", label(tray.menu, kTrayToggleCommand));
  EXPECT_EQ(L"Перезапустить веб-сервер", label(tray.menu, kWebCommand));
  EXPECT_EQ(L"О программе...", label(tray.menu, kTrayAboutCommand));
  EXPECT_EQ(L"Выход", label(tray.menu, kTrayExitCommand));

  const struct {
    bool windowsVisible, running, busy;
    const wchar_t* toggle;
    const wchar_t* web;
  } cases[] = {
      {true, true, false, L"Скрыть окна процесса", L"Перезапустить веб-сервер"},
      {false, false, false, L"Показать окна процесса", L"Запустить веб-сервер"},
      {true, true, true, L"Скрыть окна процесса", L"Перезапустить веб-сервер"},
  };
  for (const auto& c : cases) {
    const TrayServerState states[] = {{kWebCommand, c.running, c.busy}, {kDatabaseCommand, true, false}};
    UINT_PTR timer = SetTimer(nullptr, 0, 50, endMenu);
    tray.showMenu(c.windowsVisible, states, 2);
    KillTimer(nullptr, timer);
    EXPECT_EQ(c.toggle, label(tray.menu, kTrayToggleCommand));
    EXPECT_EQ(c.web, label(tray.menu, kWebCommand));
    EXPECT_EQ(c.busy, greyed(tray.menu, kWebCommand));
    // An item not shown stays out of the menu.
    EXPECT_EQ(5, GetMenuItemCount(tray.menu));
  }
}
