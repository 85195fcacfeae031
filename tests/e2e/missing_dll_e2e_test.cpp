// A web server that the loader refuses because a DLL of ours is missing: the report names the DLL.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/e2e_support.h"

namespace {

struct MissingDllE2e : e2e::LauncherTest {};

TEST_F(MissingDllE2e, TheEarlyReportNamesTheMissingDllAndWhoNeedsIt) {
  // needs_library.exe without the needed_library.dll that lies beside it in the build folder.
  std::wstring server = standIns.folder.file(L"needs_library.exe");
  ASSERT_TRUE(CopyFileW(e2e::binPath(L"needs_library.exe").c_str(), server.c_str(), FALSE));
  LauncherConfig settings;
  settings.webServer = e2e::quoted(server);
  ASSERT_TRUE(launcher.prepare(settings));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(launcher.waitJournal(L"(нужна для", e2e::kTimeoutMs)) << e2e::toUtf8(launcher.journal());
  std::vector<e2e::JournalEntry> lines = launcher.entries();
  size_t closed = e2e::indexOf(lines, L"ОШИБКА: Веб-сервер неожиданно закрылся!");
  ASSERT_NE(closed, std::wstring::npos);
  ASSERT_GT(lines.size(), closed + 3);
  EXPECT_EQ(lines[closed + 1].text, L"Код завершения: 3221225781");
  EXPECT_EQ(lines[closed + 2].text, L"Причина: 0xC0000135 — не найдена библиотека DLL, нужная программе.");
  EXPECT_EQ(lines[closed + 3].text, L"Не найдена библиотека needed_library.dll (нужна для needs_library.exe).");
  for (size_t i = closed; i <= closed + 3; ++i) EXPECT_EQ(lines[i].colour, e2e::kRed) << i;
  launcher.quitAndExpectZero();
}

}  // namespace
