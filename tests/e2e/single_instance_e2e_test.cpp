// The single-instance guard on the real program: a second start of the same executable only
// opens the start page, while copies elsewhere and starts with the setting off run normally.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/start_page.h"
#include "tests/support/e2e_support.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;

void quit(e2e::Launcher& launcher) {
  HWND control = launcher.controlWindow(kTimeoutMs);
  if (control) PostMessageW(control, WM_COMMAND, 1003, 0);
  DWORD code = 99;
  EXPECT_TRUE(launcher.waitExit(kTimeoutMs, &code));
  EXPECT_EQ(0u, code);
}

bool startedFully(e2e::Launcher& launcher) {
  return launcher.waitJournal(L"Подождите...", kTimeoutMs);
}

}  // namespace

TEST(SingleInstanceE2e, SecondStartOpensStartPageAndEndsWithOne) {
  e2e::TempFolder urls(L"urls");
  std::wstring urlLog = urls.file(L"urls.txt");
  e2e::Launcher first;
  ASSERT_TRUE(first.prepare("singleinstance=1\n"));
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(startedFully(first));
  std::wstring journalBefore = first.journal();

  e2e::Process second;
  ASSERT_TRUE(second.start(L"\"" + first.exePath() + L"\"", first.folder.path, {{L"WENDLOR_TEST_URL_LOG", urlLog}}));
  DWORD code = 99;
  // A message box would keep it running: ending on its own means it showed none.
  ASSERT_TRUE(second.waitExit(kTimeoutMs, &code));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(e2e::waitFor([&] { return !e2e::readFile(urlLog).empty(); }, kTimeoutMs));
  std::string expected = e2e::toUtf8(kStartPageUrl);
  EXPECT_NE(std::string::npos, e2e::readFile(urlLog).find(expected)) << e2e::readFile(urlLog);

  // The first instance was told nothing and keeps running.
  EXPECT_TRUE(first.process.running());
  EXPECT_EQ(journalBefore.substr(0, journalBefore.find(L"Подождите...")),
            first.journal().substr(0, journalBefore.find(L"Подождите...")));
  quit(first);
}

TEST(SingleInstanceE2e, CopiesInTwoFoldersBothRun) {
  e2e::Launcher first;
  e2e::Launcher second;
  ASSERT_TRUE(first.prepare("singleinstance=1\n"));
  ASSERT_TRUE(second.prepare("singleinstance=1\n"));
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(startedFully(first));
  ASSERT_TRUE(second.start());
  ASSERT_TRUE(startedFully(second));
  EXPECT_TRUE(first.process.running());
  EXPECT_TRUE(second.process.running());
  quit(second);
  quit(first);
}

TEST(SingleInstanceE2e, SettingOffLetsTheSameExecutableRunTwice) {
  e2e::Launcher first;
  ASSERT_TRUE(first.prepare("singleinstance=0\n"));
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(startedFully(first));

  e2e::Process second;
  ASSERT_TRUE(second.start(L"\"" + first.exePath() + L"\"", first.folder.path));
  HWND control = nullptr;
  ASSERT_TRUE(e2e::waitFor(
      [&] { return (control = e2e::findTopLevelWindow(second.pid, L"WendlorStarterWindowClass")) != nullptr; },
      kTimeoutMs));
  EXPECT_TRUE(first.process.running());
  PostMessageW(control, WM_COMMAND, 1003, 0);
  DWORD code = 99;
  EXPECT_TRUE(second.waitExit(kTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  quit(first);
}

TEST(SingleInstanceE2e, NameIsFreedWhenTheFirstEnds) {
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare("singleinstance=1\n"));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(startedFully(launcher));
  quit(launcher);

  e2e::Process again;
  ASSERT_TRUE(again.start(L"\"" + launcher.exePath() + L"\"", launcher.folder.path));
  HWND control = nullptr;
  ASSERT_TRUE(e2e::waitFor(
      [&] { return (control = e2e::findTopLevelWindow(again.pid, L"WendlorStarterWindowClass")) != nullptr; },
      kTimeoutMs));
  PostMessageW(control, WM_COMMAND, 1003, 0);
  DWORD code = 99;
  EXPECT_TRUE(again.waitExit(kTimeoutMs, &code));
  EXPECT_EQ(0u, code);
}
