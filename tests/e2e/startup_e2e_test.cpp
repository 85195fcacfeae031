#include <gtest/gtest.h>

#include <regex>

#include "tests/support/e2e_support.h"

namespace {

const wchar_t kWait[] = L"Подождите...";

// The Journal as lines, each with its timestamp checked and then removed.
std::vector<std::wstring> journalLines(const std::wstring& journal) {
  static const std::wregex stamp(L"^\\[\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\] ");
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = journal.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    std::wstring line = journal.substr(start, end - start);
    if (std::regex_search(line, stamp)) line = line.substr(22);
    lines.push_back(line);
  }
  return lines;
}

void startAndWaitForJournal(e2e::Launcher& launcher) {
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(launcher.waitJournal(kWait, 20000)) << e2e::toUtf8(launcher.journal());
}

void quitWith(e2e::Launcher& launcher, UINT message, WPARAM wParam) {
  HWND control = launcher.controlWindow();
  ASSERT_NE(control, nullptr);
  ASSERT_TRUE(PostMessageW(control, message, wParam, 0));
  DWORD code = 12345;
  ASSERT_TRUE(launcher.waitExit(15000, &code));
  EXPECT_EQ(code, 0u);
}

}  // namespace

TEST(StartupE2e, ShowsTheJournalAndEndsOnExitCommand) {
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare("[wendlor]\r\nWebServer=no-such-web-server.exe\r\n"));
  startAndWaitForJournal(launcher);

  HWND log = launcher.logWindow();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(e2e::windowText(log), L"ZEM Wendlor: журнал работы программы");
  EXPECT_TRUE(IsWindowVisible(log));
  HWND control = launcher.controlWindow();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(e2e::windowText(control), L"Wendlor");
  EXPECT_FALSE(IsWindowVisible(control));

  std::vector<std::wstring> lines = journalLines(launcher.journal());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), kWait);
  // The web server cannot start: its line comes before the closing "please wait".
  EXPECT_EQ(lines[lines.size() - 2],
            L"ОШИБКА: Не удалось запустить веб-сервер. Программа продолжит работу в режиме ожидания.");
  quitWith(launcher, WM_COMMAND, 1003);
}

TEST(StartupE2e, ExitCommandWithANotificationCodeAndCloseMessageEndWithZero) {
  e2e::Launcher first;
  ASSERT_TRUE(first.prepare(nullptr));
  startAndWaitForJournal(first);
  quitWith(first, WM_COMMAND, MAKEWPARAM(1003, 1));

  e2e::Launcher second;
  ASSERT_TRUE(second.prepare(nullptr));
  startAndWaitForJournal(second);
  quitWith(second, WM_CLOSE, 0);
}

TEST(StartupE2e, MissingEmptyOrGarbageSettingsStillStart) {
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  garbage += "\n[wendlor]\nwebserver=\n\x00\xFF=\xFE\n";
  const std::string* files[] = {nullptr, new std::string(), new std::string(garbage)};
  for (const std::string* ini : files) {
    e2e::Launcher launcher;
    ASSERT_TRUE(launcher.prepare(ini));
    startAndWaitForJournal(launcher);
    quitWith(launcher, WM_COMMAND, 1003);
    delete ini;
  }
}

TEST(StartupE2e, ProgramFolderFoundFromAnyCurrentFolder) {
  // Settings come from the executable's folder, not from where it was started.
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare("webserver=program-folder-marker.exe\n"));
  e2e::TempFolder elsewhere(L"cwd");
  ASSERT_TRUE(e2e::writeFile(elsewhere.file(L"wendlor.ini"), "webserver=current-folder-marker.exe\n"));
  ASSERT_TRUE(launcher.start(elsewhere.path));
  ASSERT_TRUE(launcher.waitJournal(kWait, 20000)) << e2e::toUtf8(launcher.journal());
  std::wstring journal = launcher.journal();
  EXPECT_NE(journal.find(L"program-folder-marker.exe"), std::wstring::npos) << e2e::toUtf8(journal);
  EXPECT_EQ(journal.find(L"current-folder-marker.exe"), std::wstring::npos);
  quitWith(launcher, WM_COMMAND, 1003);
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
  std::wstring exe = folder + L"\\wendlor.exe";
  ASSERT_TRUE(CopyFileW(e2e::binPath(L"wendlor.exe").c_str(), exe.c_str(), FALSE));
  ASSERT_TRUE(e2e::writeFile(folder + L"\\wendlor.ini", "webserver=long-path-marker.exe\n"));
  e2e::Process process;
  ASSERT_EQ(exe.size(), static_cast<size_t>(MAX_PATH - 1));
  ASSERT_TRUE(process.start(L"\"" + exe + L"\"", root.path));
  HWND edit = nullptr;
  ASSERT_TRUE(e2e::waitFor(
      [&] {
        HWND log = e2e::findTopLevelWindow(process.pid, L"WendlorLogWindow");
        edit = log ? e2e::findChildWindow(log, L"RICHEDIT50W") : nullptr;
        return edit && e2e::windowText(edit).find(kWait) != std::wstring::npos;
      },
      20000));
  EXPECT_NE(e2e::windowText(edit).find(L"long-path-marker.exe"), std::wstring::npos);
  HWND control = e2e::findTopLevelWindow(process.pid, L"WendlorStarterWindowClass");
  ASSERT_NE(control, nullptr);
  PostMessageW(control, WM_COMMAND, 1003, 0);
  DWORD code = 1;
  ASSERT_TRUE(process.waitExit(15000, &code));
  EXPECT_EQ(code, 0u);
}
