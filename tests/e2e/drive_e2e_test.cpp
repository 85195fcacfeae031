// The drive mapping at start-up, seen from outside: the Journal lines of each branch and the
// arguments that reach subst. Wine's own subst does nothing, so the test prefix's system folder
// holds a fake subst.exe that records what it was given. The test support gives out the letters.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "process/virtual_drive.h"
#include "tests/support/e2e_support.h"
#include "tests/support/test_drives.h"

namespace {

using e2e::kTimeoutMs;

LauncherConfig withDrive(const std::wstring& drive) {
  LauncherConfig config;
  config.substDrive = drive;
  return config;
}

// Starts the Launcher and waits until the start-up sequence is past the drive mapping.
void startAndWaitForStartup(e2e::Launcher& launcher, const LauncherConfig& settings, const std::wstring& currentFolder,
                            const e2e::Environment& environment) {
  ASSERT_TRUE(launcher.prepare(settings));
  ASSERT_TRUE(launcher.start(currentFolder, environment));
  ASSERT_TRUE(launcher.waitJournal(L"Подождите...", kTimeoutMs)) << e2e::toUtf8(launcher.journal());
}

size_t count(const std::wstring& text, const std::wstring& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace

// Each setting that names a free letter: the line that announces the drive, and the system's subst
// run once with the letter as written and the start-up folder as one argument.
TEST(DriveE2e, AFreeLetterIsMappedBySubstWithTheFolderAsOneArgument) {
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  struct Case {
    const char* name;
    const wchar_t* subfolder;  // of the start-up folder; empty for none
    bool lowerCase;
    const wchar_t* substExit;
    bool plantSubst;           // a subst.exe beside the program and in the start-up folder
    const wchar_t* errorLine;  // null: no error line
  };
  const Case cases[] = {
      {"free letter", L"", false, L"0", false, nullptr},
      {"lower-case letter that subst refuses", L"", true, L"4294967295", false,
       L"ОШИБКА subst: Команда subst завершилась с ошибкой. Код выхода: 4294967295"},
      // Spaces, an ampersand, Cyrillic letters and names in percent signs, which a command
      // interpreter would expand even inside quotes.
      {"spaces and an ampersand", L"Program Files (x86) & Co", false, L"0", false, nullptr},
      {"Cyrillic", L"папка с программой", false, L"0", false, nullptr},
      {"a variable's name", L"%PATH%", false, L"0", false, nullptr},
      {"percent signs", L"a %TEMP% b %%", false, L"0", false, nullptr},
      // Only the system's subst.exe is started, whatever lies in the program or start-up folder.
      {"subst.exe planted beside the program", L"", false, L"0", true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::DriveLetter free;
    ASSERT_NE(0, free.letter) << "no drive letter is free here";
    std::wstring drive = c.lowerCase ? std::wstring{static_cast<wchar_t>(towlower(free.letter)), L':'} : free.drive();
    e2e::SubstStandIn subst(c.subfolder);
    e2e::Launcher launcher;
    if (c.plantSubst) {
      ASSERT_TRUE(e2e::writeFile(launcher.folder.file(L"subst.exe"), "not a program"));
      ASSERT_TRUE(e2e::writeFile(subst.folder.file(L"subst.exe"), "not a program"));
    }
    // Blanks around the letter are no part of it.
    startAndWaitForStartup(launcher, withDrive(L" " + drive + L" "), subst.path, subst.environment(c.substExit));
    std::wstring journal = launcher.journal();
    EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: " + drive + L"\r\n"))
        << e2e::toUtf8(journal);
    if (c.errorLine) {
      EXPECT_NE(std::wstring::npos, journal.find(std::wstring(c.errorLine) + L"\r\n")) << e2e::toUtf8(journal);
    } else {
      EXPECT_EQ(std::wstring::npos, journal.find(L"ОШИБКА subst")) << e2e::toUtf8(journal);
    }
    EXPECT_EQ(L"call 2\n[" + drive + L"]\n[" + subst.path + L"]\n", subst.calls());
    launcher.quitAndExpectZero();
  }
}

// Settings that must run no subst: none at all, and values that would put a wrong argument or a
// second drive on its command line.
TEST(DriveE2e, EmptyOrBadSettingsRunNoSubst) {
  const wchar_t* settings[] = {L"", L"W: & subst injected", L"W:\\", L"WXY", L"1:", L"W: W:"};
  for (const wchar_t* value : settings) {
    SCOPED_TRACE(e2e::toUtf8(value));
    e2e::SubstStandIn subst;
    e2e::Launcher launcher;
    startAndWaitForStartup(launcher, withDrive(value), subst.path, subst.environment());
    std::wstring journal = launcher.journal();
    EXPECT_EQ(std::wstring::npos, journal.find(L"Создание виртуального диска"));
    EXPECT_EQ(L"", subst.calls());
    if (*value == L'\0') {
      EXPECT_EQ(std::wstring::npos, journal.find(L"subst"));
    } else {
      const std::wstring error = L"ОШИБКА subst: ";
      size_t at = journal.find(error);
      ASSERT_NE(std::wstring::npos, at) << e2e::toUtf8(journal);
      std::wstring line = journal.substr(at, journal.find(L"\r\n", at) - at);
      EXPECT_NE(std::wstring::npos, line.find(value)) << e2e::toUtf8(line);
      EXPECT_EQ(1u, count(journal, error));
    }
    launcher.quitAndExpectZero();
  }
}

// A letter that is taken already counts as this program's earlier drive only when its root holds
// the home folder; then subst is not run again.
TEST(DriveE2e, ATakenLetterIsTheEarlierDriveOnlyWithItsHomeFolder) {
  for (bool home : {true, false}) {
    SCOPED_TRACE(home ? "home folder" : "a file named home");
    e2e::SubstStandIn subst;
    e2e::TempFolder target(L"drive-taken");
    if (home) {
      ASSERT_TRUE(CreateDirectoryW(target.file(L"home").c_str(), nullptr));
    } else {
      ASSERT_TRUE(e2e::writeFile(target.file(L"home"), "x"));
    }
    e2e::MappedDrive taken(target.path);
    ASSERT_NE(0, taken.letter) << taken.why;
    e2e::Launcher launcher;
    startAndWaitForStartup(launcher, withDrive(taken.drive()), subst.path, subst.environment());
    std::wstring journal = launcher.journal();
    EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: " + taken.drive() + L"\r\n"));
    const wchar_t earlier[] = L"Диск уже был создан ранее. \r\n";
    const wchar_t takenLine[] = L"ОШИБКА subst: Буква диска уже занята и диск не указывает на папку с программой\r\n";
    EXPECT_EQ(home, journal.find(earlier) != std::wstring::npos) << e2e::toUtf8(journal);
    EXPECT_EQ(!home, journal.find(takenLine) != std::wstring::npos) << e2e::toUtf8(journal);
    EXPECT_EQ(home ? 0u : 1u, count(journal, L"ОШИБКА subst"));
    EXPECT_EQ(L"", subst.calls());
    launcher.quitAndExpectZero();
  }
}

TEST(DriveE2e, StartupFolderAtTheRootOfADrive) {
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::SubstStandIn subst;
  e2e::MappedDrive root(subst.path);
  ASSERT_NE(0, root.letter) << root.why;
  e2e::DriveLetter free;
  ASSERT_NE(0, free.letter) << "no drive letter is free here";
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(free.drive()), root.drive() + L"\\", subst.environment());
  EXPECT_EQ(L"call 2\n[" + free.drive() + L"]\n[" + root.drive() + L"\\]\n", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, StuckSubstIsGivenUpAfterTenSeconds) {
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::DriveLetter free;
  ASSERT_NE(0, free.letter) << "no drive letter is free here";
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  ASSERT_TRUE(launcher.prepare(withDrive(free.drive())));
  ASSERT_TRUE(launcher.start(subst.path, subst.environment(L"hang")));
  // The start goes on past the bound.
  ASSERT_TRUE(launcher.waitJournal(L"Подождите...", kSubstTimeoutMs + kTimeoutMs)) << e2e::toUtf8(launcher.journal());
  std::wstring journal = launcher.journal();
  size_t line = journal.find(L"ОШИБКА subst: Команда subst не завершилась за 10 секунд.\r\n");
  EXPECT_NE(std::wstring::npos, line) << e2e::toUtf8(journal);
  EXPECT_LT(line, journal.find(L"Подождите..."));
  EXPECT_EQ(1u, count(subst.calls(), L"call "));
  launcher.quitAndExpectZero();
}
