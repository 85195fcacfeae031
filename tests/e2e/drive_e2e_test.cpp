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

TEST(DriveE2e, EmptySettingWritesNothingAndRunsNothing) {
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(L""), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_EQ(std::wstring::npos, journal.find(L"виртуального диска"));
  EXPECT_EQ(std::wstring::npos, journal.find(L"subst"));
  EXPECT_EQ(L"", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, FreeLetterRunsSubstWithDriveAndFolder) {
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::DriveLetter free;
  ASSERT_NE(0, free.letter) << "no drive letter is free here";
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(free.drive()), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: " + free.drive() + L"\r\n"));
  EXPECT_EQ(std::wstring::npos, journal.find(L"ОШИБКА subst")) << e2e::toUtf8(journal);
  EXPECT_EQ(L"call 2\n[" + free.drive() + L"]\n[" + subst.path + L"]\n", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, NonZeroExitCodeIsReported) {
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::DriveLetter free;
  ASSERT_NE(0, free.letter) << "no drive letter is free here";
  std::wstring lowerCase{static_cast<wchar_t>(towlower(free.letter)), L':'};
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(lowerCase), subst.path, subst.environment(L"4294967295"));
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: " + lowerCase + L"\r\n"));
  EXPECT_NE(std::wstring::npos,
            journal.find(L"ОШИБКА subst: Команда subst завершилась с ошибкой. Код выхода: 4294967295\r\n"))
      << e2e::toUtf8(journal);
  EXPECT_EQ(1u, count(subst.calls(), L"call "));
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, FolderReachesSubstAsWrittenAsOneArgument) {
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  // Spaces, an ampersand, Cyrillic letters and names in percent signs, which a command
  // interpreter would expand even inside quotes.
  const wchar_t* folders[] = {L"Program Files (x86) & Co", L"папка с программой", L"%PATH%", L"a %TEMP% b %%"};
  for (const wchar_t* name : folders) {
    SCOPED_TRACE(e2e::toUtf8(name));
    e2e::DriveLetter free;
    ASSERT_NE(0, free.letter) << "no drive letter is free here";
    e2e::SubstStandIn subst(name);
    e2e::Launcher launcher;
    startAndWaitForStartup(launcher, withDrive(L" " + free.drive() + L" "), subst.path, subst.environment());
    EXPECT_EQ(L"call 2\n[" + free.drive() + L"]\n[" + subst.path + L"]\n", subst.calls());
    EXPECT_EQ(std::wstring::npos, launcher.journal().find(L"ОШИБКА subst"));
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

TEST(DriveE2e, TakenLetterWithHomeCountsAsCreatedEarlier) {
  e2e::SubstStandIn subst;
  e2e::TempFolder target(L"drive-home");
  ASSERT_TRUE(CreateDirectoryW(target.file(L"home").c_str(), nullptr));
  e2e::MappedDrive taken(target.path);
  ASSERT_NE(0, taken.letter) << taken.why;
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(taken.drive()), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: " + taken.drive() + L"\r\n"));
  EXPECT_NE(std::wstring::npos, journal.find(L"Диск уже был создан ранее. \r\n"));
  EXPECT_EQ(std::wstring::npos, journal.find(L"ОШИБКА subst"));
  EXPECT_EQ(L"", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, TakenLetterWithoutHomeIsAnError) {
  e2e::SubstStandIn subst;
  e2e::TempFolder target(L"drive-taken");
  // A file named home is not the folder that marks an earlier mapping.
  ASSERT_TRUE(e2e::writeFile(target.file(L"home"), "x"));
  e2e::MappedDrive taken(target.path);
  ASSERT_NE(0, taken.letter) << taken.why;
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(taken.drive()), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos,
            journal.find(L"ОШИБКА subst: Буква диска уже занята и диск не указывает на папку с программой\r\n"));
  EXPECT_EQ(std::wstring::npos, journal.find(L"Диск уже был создан ранее."));
  EXPECT_EQ(L"", subst.calls());
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

TEST(DriveE2e, BadValuesRunNoCommand) {
  // Each would put a wrong argument or a second drive on subst's command line.
  const wchar_t* bad[] = {L"W: & subst injected", L"W:\\", L"WXY", L"1:", L"W: W:"};
  for (const wchar_t* value : bad) {
    SCOPED_TRACE(e2e::toUtf8(value));
    e2e::SubstStandIn subst;
    e2e::Launcher launcher;
    startAndWaitForStartup(launcher, withDrive(value), subst.path, subst.environment());
    std::wstring journal = launcher.journal();
    std::wstring expected = L"ОШИБКА subst: ";
    size_t at = journal.find(expected);
    ASSERT_NE(std::wstring::npos, at);
    std::wstring line = journal.substr(at, journal.find(L"\r\n", at) - at);
    EXPECT_NE(std::wstring::npos, line.find(value)) << e2e::toUtf8(line);
    EXPECT_EQ(1u, count(journal, expected));
    EXPECT_EQ(std::wstring::npos, journal.find(L"Создание виртуального диска"));
    EXPECT_EQ(L"", subst.calls());
    launcher.quitAndExpectZero();
  }
}

TEST(DriveE2e, SubstBesideTheProgramIsPassedOver) {
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::DriveLetter free;
  ASSERT_NE(0, free.letter) << "no drive letter is free here";
  // Only the system's subst.exe is started, whatever lies in the program or the start-up folder.
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  ASSERT_TRUE(e2e::writeFile(launcher.folder.file(L"subst.exe"), "not a program"));
  ASSERT_TRUE(e2e::writeFile(subst.folder.file(L"subst.exe"), "not a program"));
  startAndWaitForStartup(launcher, withDrive(free.drive()), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_EQ(std::wstring::npos, journal.find(L"ОШИБКА subst")) << e2e::toUtf8(journal);
  EXPECT_EQ(L"call 2\n[" + free.drive() + L"]\n[" + subst.path + L"]\n", subst.calls());
  launcher.quitAndExpectZero();
}
