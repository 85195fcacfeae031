// The tray icon and the control window's commands on the real program: icon callbacks are
// posted straight to the control window, as the shell would send them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/control_window.h"
#include "tests/support/e2e_support.h"

namespace {

using e2e::kTimeoutMs;

struct TrayE2e : e2e::LauncherTest {
  HWND control = nullptr;
  HWND log = nullptr;

  // Starts a Launcher with no server that can start: it stays in standby with its log window shown.
  bool startStandby() {
    LauncherConfig settings;
    settings.webServer = L"no-such-server.exe";
    if (!launcher.prepare(settings) || !launcher.start()) return false;
    if (!launcher.waitJournal(L"Подождите...", kTimeoutMs)) return false;
    control = launcher.controlWindow();
    log = launcher.logWindow();
    return control && log;
  }
};

}  // namespace

TEST_F(TrayE2e, IconIsInTheShellAndGoesAwayAtExit) {
  ASSERT_TRUE(startStandby());
  EXPECT_TRUE(e2e::shellHasIcon(control));
  launcher.quitAndExpectZero(IDM_EXIT);
  EXPECT_FALSE(e2e::shellHasIcon(control));
}

TEST_F(TrayE2e, ProcessWindowCommandsHideAndShowTheWebServerWindows) {
  LauncherConfig settings;
  settings.startHidden = false;
  settings.webServer = standIns.command(L"web", L"--window FakeWeb");
  ASSERT_TRUE(launcher.prepare(settings));
  ASSERT_TRUE(launcher.start());
  std::wstring web = standIns.marker(L"web");
  ASSERT_TRUE(e2e::waitFor([&] { return !e2e::markerValue(web, L"window").empty(); }, kTimeoutMs));
  HWND control = launcher.controlWindow();
  ASSERT_NE(nullptr, control);
  HWND window = e2e::findTopLevelWindow(e2e::markerNumber(web, L"pid"), L"FakeServerWindow");
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(e2e::waitFor([&] { return IsWindowVisible(window) != FALSE; }, kTimeoutMs));

  PostMessageW(control, WM_COMMAND, IDM_TOGGLE_WINDOWS, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(window); }, kTimeoutMs));
  PostMessageW(control, WM_COMMAND, MAKEWPARAM(IDM_TOGGLE_WINDOWS, 1), 0);
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(window) != FALSE; }, kTimeoutMs));
  PostMessageW(control, WM_COMMAND, IDM_TOGGLE_WINDOWS, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindowVisible(window); }, kTimeoutMs));
  // Another program asks for the windows.
  PostMessageW(control, WM_SHOWPROCESSWINDOWS, 0, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return IsWindowVisible(window) != FALSE; }, kTimeoutMs));
  launcher.quitAndExpectZero(IDM_EXIT);
}

TEST_F(TrayE2e, AboutBoxNamesTheSettingsAndBothProcesses) {
  LauncherConfig settings;
  settings.noTerminate = true;
  settings.checkIntervalMs = 250;
  settings.webServer = standIns.command(L"web");
  settings.mysqlServer = standIns.command(L"db");
  ASSERT_TRUE(launcher.prepare(settings));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(e2e::waitMarker(standIns.marker(L"web"), L"started", kTimeoutMs));
  ASSERT_TRUE(e2e::waitMarker(standIns.marker(L"db"), L"started", kTimeoutMs));
  DWORD webPid = e2e::markerNumber(standIns.marker(L"web"), L"pid");
  DWORD dbPid = e2e::markerNumber(standIns.marker(L"db"), L"pid");
  HWND control = launcher.controlWindow();
  ASSERT_NE(nullptr, control);

  PostMessageW(control, WM_COMMAND, IDM_ABOUT, 0);
  HWND box = launcher.messageBox(kTimeoutMs);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(L"О программе", e2e::windowText(box));
  EXPECT_EQ(control, GetWindow(box, GW_OWNER));
  std::wstring text = e2e::messageBoxText(box);
  EXPECT_EQ(0u, text.find(L"ZEM Wendlor v3.2\n\n")) << e2e::toUtf8(text);
  EXPECT_NE(std::wstring::npos, text.find(L"  WebServer: " + settings.webServer + L"\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"  MysqlServer: " + settings.mysqlServer + L"\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"  NoTerminate: true\n  CheckIntervalMs: 250\n"));
  EXPECT_NE(std::wstring::npos,
            text.find(L"Основной процесс:\n  PID: " + std::to_wstring(webPid) + L"\n  Running: yes\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"MySQL процесс:\n  PID: " + std::to_wstring(dbPid) + L"\n  Running: yes\n"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(e2e::waitFor([&] { return !IsWindow(box); }, kTimeoutMs));
  launcher.quitAndExpectZero(IDM_EXIT);
}
