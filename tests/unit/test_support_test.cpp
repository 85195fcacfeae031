// The parts of the test support that could quietly make other tests wrong, or change a
// developer's machine for good.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/e2e_support.h"

namespace {

TEST(TestSupport, SettingsFileGivesBackEverySetting) {
  LauncherConfig written;
  written.webServer = L"\"C:\\Веб сервер\\httpd.exe\" -k start";
  written.workingDirectory = L"work";
  written.webServerDirectory = L"htdocs";
  written.mysqlServerDirectory = L"db";
  written.startHidden = false;
  written.singleInstance = true;
  written.noTerminate = true;
  written.checkIntervalMs = 250;
  written.substDrive = L"W:";
  written.mysqlServer = L"mysqld.exe --console";
  written.openBrowser = true;
  LauncherConfig read = ParseConfig(e2e::settingsFile(written), nullptr);
  EXPECT_EQ(read.webServer, written.webServer);
  EXPECT_EQ(read.workingDirectory, written.workingDirectory);
  EXPECT_EQ(read.webServerDirectory, written.webServerDirectory);
  EXPECT_EQ(read.mysqlServerDirectory, written.mysqlServerDirectory);
  EXPECT_EQ(read.startHidden, written.startHidden);
  EXPECT_EQ(read.singleInstance, written.singleInstance);
  EXPECT_EQ(read.noTerminate, written.noTerminate);
  EXPECT_EQ(read.checkIntervalMs, written.checkIntervalMs);
  EXPECT_EQ(read.substDrive, written.substDrive);
  EXPECT_EQ(read.mysqlServer, written.mysqlServer);
  EXPECT_EQ(read.openBrowser, written.openBrowser);
}

constexpr wchar_t kHttp[] = L"Software\\Classes\\http";
constexpr wchar_t kCommand[] = L"Software\\Classes\\http\\shell\\open\\command";

// The command key's default value and its type; empty with type 0 when there is none.
std::wstring handler(DWORD* type = nullptr) {
  wchar_t value[2048] = {};
  DWORD size = sizeof value;
  DWORD kind = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kCommand, nullptr, RRF_RT_ANY | RRF_NOEXPAND, &kind, value, &size) !=
      ERROR_SUCCESS)
    kind = 0;
  if (type) *type = kind;
  return value;
}

bool recorderRegistered() {
  return handler().find(L"url_recorder.exe\" \"%1\"") != std::wstring::npos;
}

TEST(TestSupport, BrowserRecorderPutsBackWhatTheUserHad) {
  // Only the test prefix's registry may be changed at will.
  if (!e2e::underWine()) GTEST_SKIP() << "would change this user's own http handler";
  RegDeleteTreeW(HKEY_CURRENT_USER, kHttp);

  {  // Nothing there: the keys made go again, after the last of two recorders.
    e2e::BrowserRecorder first;
    e2e::BrowserRecorder second;
    first.engageHere();
    second.engageHere();
    EXPECT_TRUE(recorderRegistered());
    first.release();
    EXPECT_TRUE(recorderRegistered());
  }
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kHttp, 0, KEY_READ, &key), ERROR_SUCCESS);

  // A handler of the user's, of its own type, comes back as it was.
  const wchar_t old[] = L"%ProgramFiles%\\browser.exe \"%1\"";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kCommand, nullptr, REG_EXPAND_SZ, old, sizeof old), ERROR_SUCCESS);
  {
    e2e::BrowserRecorder recorder;
    recorder.engageHere();
    EXPECT_TRUE(recorderRegistered());
  }
  DWORD type = 0;
  EXPECT_EQ(handler(&type), old);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));

  // A key without a value keeps having none.
  ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, kCommand, nullptr), ERROR_SUCCESS);
  {
    e2e::BrowserRecorder recorder;
    recorder.engageHere();
    EXPECT_TRUE(recorderRegistered());
  }
  EXPECT_EQ(handler(&type), L"");
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kCommand, 0, KEY_READ, &key), ERROR_SUCCESS);
  if (key) RegCloseKey(key);
  RegDeleteTreeW(HKEY_CURRENT_USER, kHttp);
}

}  // namespace
