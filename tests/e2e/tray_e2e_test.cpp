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

std::wstring inQuotes(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

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

DWORD markerPid(const std::wstring& marker) {
  std::string text = e2e::readFile(marker);
  size_t at = text.find("pid=");
  return at == std::string::npos ? 0 : static_cast<DWORD>(strtoul(text.c_str() + at + 4, nullptr, 10));
}

bool waitMarker(const std::wstring& marker, const std::string& line) {
  return e2e::waitFor([&] { return e2e::readFile(marker).find(line) != std::string::npos; }, kTimeoutMs, 50);
}

void endProcess(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return;
  TerminateProcess(process, 99);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
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
  ASSERT_TRUE(launcher.prepare(e2e::toUtf8(L"starthidden=0\nwebserver=" + inQuotes(e2e::binPath(L"fake_server.exe")) +
                                           L" --marker " + inQuotes(web) + L" --window FakeWeb\n")));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(waitMarker(web, "window="));
  HWND control = launcher.controlWindow();
  ASSERT_NE(nullptr, control);
  DWORD webPid = markerPid(web);
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
  endProcess(webPid);
}

TEST(TrayE2e, AboutBoxNamesTheSettingsAndBothProcesses) {
  e2e::TempFolder markers(L"about");
  std::wstring web = markers.file(L"web.txt");
  std::wstring db = markers.file(L"db.txt");
  std::wstring webCommand = inQuotes(e2e::binPath(L"fake_server.exe")) + L" --marker " + inQuotes(web);
  std::wstring dbCommand = inQuotes(e2e::binPath(L"fake_server.exe")) + L" --marker " + inQuotes(db);
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare(e2e::toUtf8(L"noterminate=1\ncheckintervalms=250\nwebserver=" + webCommand +
                                           L"\nmysqlserver=" + dbCommand + L"\n")));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(waitMarker(web, "started"));
  ASSERT_TRUE(waitMarker(db, "started"));
  DWORD webPid = markerPid(web);
  DWORD dbPid = markerPid(db);
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
  endProcess(webPid);
  endProcess(dbPid);
}
