#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"

namespace {

using e2e::kTimeoutMs;

const wchar_t kWait[] = L"Подождите...";

LauncherConfig webServerOnly(const std::wstring& command) {
  LauncherConfig config;
  config.webServer = command;
  return config;
}

void startAndWaitForJournal(e2e::Launcher& launcher, const std::wstring& currentFolder = L"") {
  ASSERT_TRUE(launcher.start(currentFolder));
  ASSERT_TRUE(launcher.waitJournal(kWait, kTimeoutMs)) << e2e::toUtf8(launcher.journal());
}

}  // namespace

TEST(StartupE2e, ShowsTheJournalAndEndsOnExitCommand) {
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare(webServerOnly(L"no-such-web-server.exe")));
  startAndWaitForJournal(launcher);

  HWND log = launcher.logWindow();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(e2e::windowText(log), L"ZEM Wendlor: журнал работы программы");
  EXPECT_TRUE(IsWindowVisible(log));
  HWND control = launcher.controlWindow();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(e2e::windowText(control), L"Wendlor");
  EXPECT_FALSE(IsWindowVisible(control));

  std::vector<e2e::JournalEntry> entries = launcher.entries();
  ASSERT_GE(entries.size(), 2u);
  for (const e2e::JournalEntry& entry : entries) EXPECT_FALSE(entry.stamp.empty()) << e2e::toUtf8(entry.text);
  EXPECT_EQ(entries.back().text, kWait);
  // The web server cannot start: its line comes before the closing "please wait".
  EXPECT_EQ(entries[entries.size() - 2].text,
            L"ОШИБКА: Не удалось запустить веб-сервер. Программа продолжит работу в режиме ожидания.");
  launcher.quitAndExpectZero(IDM_EXIT);
}

TEST(StartupE2e, ExitCommandWithANotificationCodeAndCloseMessageEndWithZero) {
  e2e::Launcher first;
  ASSERT_TRUE(first.prepare(nullptr));
  startAndWaitForJournal(first);
  first.quitAndExpectZero(MAKEWPARAM(IDM_EXIT, 1));

  e2e::Launcher second;
  ASSERT_TRUE(second.prepare(nullptr));
  startAndWaitForJournal(second);
  ASSERT_TRUE(PostMessageW(second.controlWindow(), WM_CLOSE, 0, 0));
  second.expectExitZero();
}

TEST(StartupE2e, MissingEmptyOrGarbageSettingsStillStart) {
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  const char tail[] = "\n[wendlor]\nwebserver=\n\x00\xFF=\xFE\n";  // with its NUL byte
  garbage.append(tail, sizeof tail - 1);
  const std::string empty;
  // The bytes themselves are under test here, so they are written as they are.
  const std::string* files[] = {nullptr, &empty, &garbage};
  for (const std::string* ini : files) {
    e2e::Launcher launcher;
    ASSERT_TRUE(launcher.prepare(ini));
    startAndWaitForJournal(launcher);
    launcher.quitAndExpectZero(IDM_EXIT);
  }
}

TEST(StartupE2e, ProgramFolderFoundFromAnyCurrentFolder) {
  // Settings come from the executable's folder, not from where it was started.
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare(webServerOnly(L"program-folder-marker.exe")));
  e2e::TempFolder elsewhere(L"cwd");
  ASSERT_TRUE(
      e2e::writeFile(elsewhere.file(L"wendlor.ini"), e2e::settingsFile(webServerOnly(L"current-folder-marker.exe"))));
  startAndWaitForJournal(launcher, elsewhere.path);
  std::wstring journal = launcher.journal();
  EXPECT_NE(journal.find(L"program-folder-marker.exe"), std::wstring::npos) << e2e::toUtf8(journal);
  EXPECT_EQ(journal.find(L"current-folder-marker.exe"), std::wstring::npos);
  launcher.quitAndExpectZero(IDM_EXIT);
}

TEST(StartupE2e, ProgramPathOfTheLongestLengthThatCanBeStarted) {
  // Wine starts no program from a path of MAX_PATH characters or more; the longest one that
  // starts must still be found whole, Cyrillic folders included.
  e2e::TempFolder root(L"longexe");
  std::wstring folder = root.path;
  const size_t target = MAX_PATH - 1 - wcslen(L"\\wendlor.exe");
  while (folder.size() + 28 < target) {
    folder += L"\\папка-программы-0123456789";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  }
  folder += L"\\" + std::wstring(target - folder.size() - 1, L'я');
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  e2e::Launcher launcher;
  launcher.programFolder = folder;
  ASSERT_EQ(launcher.exePath().size(), static_cast<size_t>(MAX_PATH - 1));
  ASSERT_TRUE(launcher.prepare(webServerOnly(L"long-path-marker.exe")));
  startAndWaitForJournal(launcher, root.path);
  EXPECT_NE(launcher.journal().find(L"long-path-marker.exe"), std::wstring::npos);
  launcher.quitAndExpectZero(IDM_EXIT);
}
