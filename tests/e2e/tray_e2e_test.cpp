// The tray icon and the control window's commands on the real program: icon callbacks are
// posted straight to the control window, as the shell would send them.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/e2e_support.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
constexpr UINT kTrayCallback = WM_APP + 10;
constexpr UINT kShowProcessWindows = WM_APP + 11;

// Whether the shell holds the Launcher's icon: a modify of an unknown icon fails.
bool shellHasIcon(HWND owner) {
  NOTIFYICONDATAW probe{};
  probe.cbSize = sizeof probe;
  probe.hWnd = owner;
  probe.uID = 1;
  probe.uFlags = NIF_TIP;
  lstrcpynW(probe.szTip, L"ZEM Wendlor", ARRAYSIZE(probe.szTip));
  return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

void exitWithZero(e2e::Launcher& launcher, HWND control) {
  PostMessageW(control, WM_COMMAND, 1003, 0);
  DWORD code = 99;
  EXPECT_TRUE(launcher.waitExit(kTimeoutMs, &code));
  EXPECT_EQ(0u, code);
}

// A Launcher with no server that can start: it stays in standby with its log window shown.
struct StandbyLauncher {
  e2e::Launcher launcher;
  HWND control = nullptr;
  HWND log = nullptr;
  bool start() {
    if (!launcher.prepare("webserver=no-such-server.exe\n") || !launcher.start()) return false;
    if (!launcher.waitJournal(L"Подождите...", kTimeoutMs)) return false;
    control = launcher.controlWindow();
    log = launcher.logWindow();
    return control && log;
  }
};

}  // namespace

TEST(TrayE2e, IconIsInTheShellAndGoesAwayAtExit) {
  StandbyLauncher standby;
  ASSERT_TRUE(standby.start());
  EXPECT_TRUE(shellHasIcon(standby.control));
  exitWithZero(standby.launcher, standby.control);
  EXPECT_FALSE(shellHasIcon(standby.control));
}

TEST(TrayE2e, DoubleClickTogglesTheLogWindowAlsoAfterItsCloseBox) {
  StandbyLauncher standby;
  ASSERT_TRUE(standby.start());
  HWND log = standby.log;
  ASSERT_TRUE(e2e::waitFor([&] { return IsWindowVisible(log) != FALSE; }, kTimeoutMs));

  PostMessageW(standby.control, kTrayCallback, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(log); }, kTimeoutMs));
  PostMessageW(standby.control, kTrayCallback, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(log) != FALSE; }, kTimeoutMs));

  // The close box only hides the window; the next double click brings it back.
  PostMessageW(log, WM_CLOSE, 0, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(log); }, kTimeoutMs));
  PostMessageW(standby.control, kTrayCallback, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(log) != FALSE; }, kTimeoutMs));
  EXPECT_TRUE(standby.launcher.process.running());
  exitWithZero(standby.launcher, standby.control);
}

TEST(TrayE2e, TaskbarCreatedBringsTheIconBack) {
  StandbyLauncher standby;
  ASSERT_TRUE(standby.start());
  ASSERT_TRUE(shellHasIcon(standby.control));
  // What a restarted shell looks like to the Launcher: the icon is gone, then the broadcast.
  NOTIFYICONDATAW forget{};
  forget.cbSize = sizeof forget;
  forget.hWnd = standby.control;
  forget.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &forget));
  ASSERT_FALSE(shellHasIcon(standby.control));
  PostMessageW(standby.control, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return shellHasIcon(standby.control); }, kTimeoutMs));
  EXPECT_EQ(std::wstring::npos, standby.launcher.journal().find(L"иконку в трее"));
  exitWithZero(standby.launcher, standby.control);
}

TEST(TrayE2e, OtherTimersAndTrayEventsAreHarmless) {
  StandbyLauncher standby;
  ASSERT_TRUE(standby.start());
  bool logVisible = IsWindowVisible(standby.log) != FALSE;
  PostMessageW(standby.control, WM_TIMER, 7, 0);
  PostMessageW(standby.control, kTrayCallback, 0, WM_LBUTTONDOWN);
  PostMessageW(standby.control, kTrayCallback, 0, WM_MOUSEMOVE);
  PostMessageW(standby.control, WM_COMMAND, 1001, 0);  // no web server: only the flag flips
  PostMessageW(standby.control, kShowProcessWindows, 0, 0);
  // A message sent after them returns once they have all been handled.
  DWORD_PTR result = 0;
  ASSERT_TRUE(SendMessageTimeoutW(standby.control, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &result));
  EXPECT_TRUE(standby.launcher.process.running());
  EXPECT_EQ(logVisible, IsWindowVisible(standby.log) != FALSE);
  exitWithZero(standby.launcher, standby.control);
}

TEST(TrayE2e, ProcessWindowCommandsHideAndShowTheWebServerWindows) {
  e2e::TempFolder markers(L"tray");
  std::wstring web = markers.file(L"web.txt");
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare(e2e::toUtf8(
      L"starthidden=0\nwebserver=" + e2e::fakeServer(L"--marker " + e2e::quoted(web) + L" --window FakeWeb") + L"\n")));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(e2e::waitFor([&] { return !e2e::markerValue(web, L"window").empty(); }, kTimeoutMs));
  HWND control = launcher.controlWindow();
  ASSERT_NE(nullptr, control);
  DWORD webPid = e2e::markerNumber(web, L"pid");
  HWND window = e2e::findTopLevelWindow(webPid, L"FakeServerWindow");
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(e2e::waitFor([&] { return IsWindowVisible(window) != FALSE; }, kTimeoutMs));

  PostMessageW(control, WM_COMMAND, 1001, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(window); }, kTimeoutMs));
  PostMessageW(control, WM_COMMAND, MAKEWPARAM(1001, 1), 0);
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(window) != FALSE; }, kTimeoutMs));
  PostMessageW(control, WM_COMMAND, 1001, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(window); }, kTimeoutMs));
  // Another program asks for the windows.
  PostMessageW(control, kShowProcessWindows, 0, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(window) != FALSE; }, kTimeoutMs));
  exitWithZero(launcher, control);
  e2e::endProcess(webPid);
}

TEST(TrayE2e, AboutBoxNamesTheSettingsAndBothProcesses) {
  e2e::TempFolder markers(L"about");
  std::wstring web = markers.file(L"web.txt");
  std::wstring db = markers.file(L"db.txt");
  std::wstring webCommand = e2e::fakeServer(L"--marker " + e2e::quoted(web));
  std::wstring dbCommand = e2e::fakeServer(L"--marker " + e2e::quoted(db));
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare(e2e::toUtf8(L"noterminate=1\ncheckintervalms=250\nwebserver=" + webCommand +
                                           L"\nmysqlserver=" + dbCommand + L"\n")));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(e2e::waitMarker(web, L"started", kTimeoutMs));
  ASSERT_TRUE(e2e::waitMarker(db, L"started", kTimeoutMs));
  DWORD webPid = e2e::markerNumber(web, L"pid");
  DWORD dbPid = e2e::markerNumber(db, L"pid");
  HWND control = launcher.controlWindow();
  ASSERT_NE(nullptr, control);

  PostMessageW(control, WM_COMMAND, 1004, 0);
  HWND box = launcher.messageBox(kTimeoutMs);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(L"О программе", e2e::windowText(box));
  EXPECT_EQ(control, GetWindow(box, GW_OWNER));
  std::wstring text = e2e::messageBoxText(box);
  EXPECT_EQ(0u, text.find(L"ZEM Wendlor v3.2\n\n")) << e2e::toUtf8(text);
  EXPECT_NE(std::wstring::npos, text.find(L"  WebServer: " + webCommand + L"\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"  MysqlServer: " + dbCommand + L"\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"  NoTerminate: true\n  CheckIntervalMs: 250\n"));
  EXPECT_NE(std::wstring::npos,
            text.find(L"Основной процесс:\n  PID: " + std::to_wstring(webPid) + L"\n  Running: yes\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"MySQL процесс:\n  PID: " + std::to_wstring(dbPid) + L"\n  Running: yes\n"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindow(box); }, kTimeoutMs));

  exitWithZero(launcher, control);
  e2e::endProcess(webPid);
  e2e::endProcess(dbPid);
}
