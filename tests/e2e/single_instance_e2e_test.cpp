// The single-instance guard on the real program: a second start of the same executable only
// opens the start page, while copies elsewhere and starts with the setting off run normally.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/start_page.h"
#include "tests/support/e2e_support.h"
#include "tests/support/test_drives.h"

namespace {

using e2e::kTimeoutMs;

LauncherConfig singleInstance(bool on) {
  LauncherConfig config;
  config.singleInstance = on;
  return config;
}

// Starts the Launcher with the guard on or off; true once its start-up sequence has run.
bool startFully(e2e::Launcher& launcher, bool singleInstanceOn) {
  return launcher.prepare(singleInstance(singleInstanceOn)) && launcher.start() &&
         launcher.waitJournal(L"Подождите...", kTimeoutMs);
}

}  // namespace

TEST(SingleInstanceE2e, SecondStartOpensStartPageAndEndsWithOne) {
  std::string why;
  if (!e2e::browserIsRecorded(&why)) GTEST_SKIP() << why;
  e2e::TempFolder urls(L"urls");
  std::wstring urlLog = urls.file(L"urls.txt");
  e2e::Launcher first;
  ASSERT_TRUE(startFully(first, true));
  std::vector<std::wstring> journalBefore = e2e::entryTexts(first.entries());

  e2e::Launcher second;
  ASSERT_TRUE(second.startCopyOf(first, {{L"WENDLOR_TEST_URL_LOG", urlLog}}));
  DWORD code = 99;
  // A message box would keep it running: ending on its own means it showed none.
  ASSERT_TRUE(second.waitExit(kTimeoutMs, &code));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(e2e::waitFor([&] { return !e2e::markerLines(urlLog).empty(); }, kTimeoutMs));
  EXPECT_EQ(e2e::markerLines(urlLog), std::vector<std::wstring>{kStartPageUrl}) << e2e::readFile(urlLog);

  // The first instance was told nothing and keeps running: after a later tick of its own its
  // Journal holds what it held.
  EXPECT_TRUE(first.process.running());
  ASSERT_TRUE(first.tick());
  EXPECT_EQ(journalBefore, e2e::entryTexts(first.entries()));
  first.quitAndExpectZero(IDM_EXIT);
}

TEST(SingleInstanceE2e, SecondStartThroughADriveOnItsFolderOpensStartPageAndEndsWithOne) {
  std::string why;
  if (!e2e::browserIsRecorded(&why)) GTEST_SKIP() << why;
  e2e::TempFolder urls(L"urls");
  std::wstring urlLog = urls.file(L"urls.txt");
  e2e::Launcher first;
  // Mapped before the first start: under Wine a file's final name is found from its host path,
  // through the first drive that leads to it, so a drive made later would rename the file.
  e2e::MappedDrive drive(first.programPath());
  ASSERT_NE(0, drive.letter) << drive.why;
  ASSERT_TRUE(startFully(first, true));

  // The same file as x:\WENDLOR.EXE: another drive, and other letter case too.
  std::wstring exe = std::wstring{static_cast<wchar_t>(towlower(drive.letter)), L':'} + L"\\WENDLOR.EXE";
  e2e::Process second;
  ASSERT_TRUE(second.start(e2e::quoted(exe), drive.drive() + L"\\", {{L"WENDLOR_TEST_URL_LOG", urlLog}}));
  DWORD code = 99;
  ASSERT_TRUE(second.waitExit(kTimeoutMs, &code));
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(e2e::waitFor([&] { return !e2e::markerLines(urlLog).empty(); }, kTimeoutMs));
  EXPECT_EQ(e2e::markerLines(urlLog), std::vector<std::wstring>{kStartPageUrl}) << e2e::readFile(urlLog);
  EXPECT_TRUE(first.process.running());
  first.quitAndExpectZero(IDM_EXIT);
}

TEST(SingleInstanceE2e, CopiesInTwoFoldersBothRun) {
  e2e::Launcher first;
  e2e::Launcher second;
  ASSERT_TRUE(startFully(first, true));
  ASSERT_TRUE(startFully(second, true));
  EXPECT_TRUE(first.process.running());
  EXPECT_TRUE(second.process.running());
  second.quitAndExpectZero(IDM_EXIT);
  first.quitAndExpectZero(IDM_EXIT);
}

TEST(SingleInstanceE2e, SettingOffLetsTheSameExecutableRunTwice) {
  e2e::Launcher first;
  ASSERT_TRUE(startFully(first, false));
  e2e::Launcher second;
  ASSERT_TRUE(second.startCopyOf(first));
  ASSERT_NE(second.controlWindow(kTimeoutMs), nullptr);
  EXPECT_TRUE(first.process.running());
  second.quitAndExpectZero(IDM_EXIT);
  first.quitAndExpectZero(IDM_EXIT);
}

TEST(SingleInstanceE2e, NameIsFreedWhenTheFirstEnds) {
  e2e::Launcher launcher;
  ASSERT_TRUE(startFully(launcher, true));
  launcher.quitAndExpectZero(IDM_EXIT);

  e2e::Launcher again;
  ASSERT_TRUE(again.startCopyOf(launcher));
  ASSERT_NE(again.controlWindow(kTimeoutMs), nullptr);
  again.quitAndExpectZero(IDM_EXIT);
}
