// The drive mapping at start-up, seen from outside: the Journal lines of each branch and the
// arguments that reach subst. Wine's own subst does nothing, so the test prefix's system folder
// holds a fake subst.exe that records what it was given. Each test uses its own letters.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "tests/support/e2e_support.h"

namespace {

using e2e::kTimeoutMs;

// Wine's own translation of a path into the host's file system.
std::string unixPathOf(const std::wstring& windowsPath) {
  using Translate = char*(CDECL*)(const wchar_t*);
  FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
  auto translate = reinterpret_cast<Translate>(reinterpret_cast<void*>(proc));
  if (!translate) return std::string();
  char* unix = translate(windowsPath.c_str());
  if (!unix) return std::string();
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

// Wine starts host programs too; it cannot wait for them, so callers wait for the effect.
bool runHostCommand(const std::wstring& commandLine) {
  std::wstring line = commandLine;
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return false;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

bool driveExists(wchar_t letter) {
  return GetFileAttributesW((std::wstring(1, letter) + L":\\").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Why a test cannot have the letters it needs free; empty when it can. Under Wine the test prefix
// has only C: and Z:, but on Windows other programs may hold any letter.
std::string takenHere(std::initializer_list<wchar_t> letters) {
  for (wchar_t letter : letters) {
    if (driveExists(letter)) return "drive " + e2e::toUtf8(std::wstring(1, letter)) + ": is in use on this machine";
  }
  return std::string();
}

// A drive letter taken for the length of a test, pointing at target. On Windows it is a drive of
// the session, as subst makes one. Under Wine such a definition does not reach file names, so the
// drive is a link in the prefix's dosdevices folder, found beside the one of drive C:.
struct TakenDrive {
  std::wstring drive;
  std::wstring link;
  bool defined = false;
  wchar_t letter = 0;

  TakenDrive(wchar_t driveLetter, const std::wstring& target) : drive{driveLetter, L':'} {
    if (driveExists(driveLetter)) return;
    if (!e2e::underWine()) {
      defined = DefineDosDeviceW(0, drive.c_str(), target.c_str()) != FALSE;
      if (defined && driveExists(driveLetter)) letter = driveLetter;
      return;
    }
    std::string driveC = unixPathOf(L"C:\\");  // ".../dosdevices/c:/"
    std::string unixTarget = unixPathOf(target);
    size_t at = driveC.rfind("/c:/");
    if (at == std::string::npos || unixTarget.empty() || unixTarget.find(' ') != std::string::npos ||
        driveC.find(' ') != std::string::npos)
      return;
    link = e2e::fromUtf8(driveC.substr(0, at + 1)) + static_cast<wchar_t>(towlower(driveLetter)) + L":";
    if (!runHostCommand(L"Z:\\bin\\ln -sfn " + e2e::fromUtf8(unixTarget) + L" " + link)) {
      link.clear();
      return;
    }
    if (e2e::waitFor([&] { return driveExists(driveLetter); }, kTimeoutMs)) letter = driveLetter;
  }
  ~TakenDrive() {
    if (defined) DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    if (link.empty()) return;
    runHostCommand(L"Z:\\bin\\rm -f " + link);
    if (letter) e2e::waitFor([&] { return !driveExists(letter); }, kTimeoutMs);
  }
  TakenDrive(const TakenDrive&) = delete;
  TakenDrive& operator=(const TakenDrive&) = delete;
};

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
  if (std::string why = takenHere({L'S'}); !why.empty()) GTEST_SKIP() << why;
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(L"S:"), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: S:\r\n"));
  EXPECT_EQ(std::wstring::npos, journal.find(L"ОШИБКА subst")) << e2e::toUtf8(journal);
  EXPECT_EQ(L"call 2\n[S:]\n[" + subst.path + L"]\n", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, NonZeroExitCodeIsReported) {
  if (std::string why = takenHere({L'T'}); !why.empty()) GTEST_SKIP() << why;
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(L"t:"), subst.path, subst.environment(L"4294967295"));
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: t:\r\n"));
  EXPECT_NE(std::wstring::npos,
            journal.find(L"ОШИБКА subst: Команда subst завершилась с ошибкой. Код выхода: 4294967295\r\n"))
      << e2e::toUtf8(journal);
  EXPECT_EQ(1u, count(subst.calls(), L"call "));
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, FolderWithSpacesAndCyrillicLettersIsOneArgument) {
  if (std::string why = takenHere({L'U', L'V'}); !why.empty()) GTEST_SKIP() << why;
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::SubstStandIn spaced(L"Program Files (x86) & Co");
  e2e::Launcher first;
  startAndWaitForStartup(first, withDrive(L"U:"), spaced.path, spaced.environment());
  EXPECT_EQ(L"call 2\n[U:]\n[" + spaced.path + L"]\n", spaced.calls());
  EXPECT_EQ(std::wstring::npos, first.journal().find(L"ОШИБКА subst"));
  first.quitAndExpectZero();

  e2e::SubstStandIn cyrillic(L"папка с программой");
  e2e::Launcher second;
  startAndWaitForStartup(second, withDrive(L" V: "), cyrillic.path, cyrillic.environment());
  EXPECT_EQ(L"call 2\n[V:]\n[" + cyrillic.path + L"]\n", cyrillic.calls());
  second.quitAndExpectZero();
}

TEST(DriveE2e, StartupFolderAtTheRootOfADrive) {
  if (std::string why = takenHere({L'Y', L'X'}); !why.empty()) GTEST_SKIP() << why;
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  e2e::SubstStandIn subst;
  TakenDrive root(L'Y', subst.path);
  ASSERT_EQ(L'Y', root.letter) << "could not make drive Y: for the test";
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(L"X:"), L"Y:\\", subst.environment());
  EXPECT_EQ(L"call 2\n[X:]\n[Y:\\]\n", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, TakenLetterWithHomeCountsAsCreatedEarlier) {
  if (std::string why = takenHere({L'Q'}); !why.empty()) GTEST_SKIP() << why;
  e2e::SubstStandIn subst;
  e2e::TempFolder target(L"drive-home");
  ASSERT_TRUE(CreateDirectoryW(target.file(L"home").c_str(), nullptr));
  TakenDrive taken(L'Q', target.path);
  ASSERT_EQ(L'Q', taken.letter) << "could not make drive Q: for the test";
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(L"Q:"), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos, journal.find(L"Создание виртуального диска: Q:\r\n"));
  EXPECT_NE(std::wstring::npos, journal.find(L"Диск уже был создан ранее. \r\n"));
  EXPECT_EQ(std::wstring::npos, journal.find(L"ОШИБКА subst"));
  EXPECT_EQ(L"", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, TakenLetterWithoutHomeIsAnError) {
  if (std::string why = takenHere({L'R'}); !why.empty()) GTEST_SKIP() << why;
  e2e::SubstStandIn subst;
  e2e::TempFolder target(L"drive-taken");
  // A file named home is not the folder that marks an earlier mapping.
  ASSERT_TRUE(e2e::writeFile(target.file(L"home"), "x"));
  TakenDrive taken(L'R', target.path);
  ASSERT_EQ(L'R', taken.letter) << "could not make drive R: for the test";
  e2e::Launcher launcher;
  startAndWaitForStartup(launcher, withDrive(L"R:"), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_NE(std::wstring::npos,
            journal.find(L"ОШИБКА subst: Буква диска уже занята и диск не указывает на папку с программой\r\n"));
  EXPECT_EQ(std::wstring::npos, journal.find(L"Диск уже был создан ранее."));
  EXPECT_EQ(L"", subst.calls());
  launcher.quitAndExpectZero();
}

TEST(DriveE2e, BadValuesRunNoCommand) {
  // Each would put a second command or a wrong argument on cmd.exe's command line.
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

TEST(DriveE2e, BrokenCmdBesideTheProgramIsPassedOver) {
  if (std::string why = takenHere({L'P'}); !why.empty()) GTEST_SKIP() << why;
  if (std::string why; !e2e::SubstStandIn::recording(&why)) GTEST_SKIP() << why;
  // Only the system's cmd.exe is started, whatever lies in the program folder.
  e2e::SubstStandIn subst;
  e2e::Launcher launcher;
  ASSERT_TRUE(e2e::writeFile(launcher.folder.file(L"cmd.exe"), "not a program"));
  startAndWaitForStartup(launcher, withDrive(L"P:"), subst.path, subst.environment());
  std::wstring journal = launcher.journal();
  EXPECT_EQ(std::wstring::npos, journal.find(L"ОШИБКА subst")) << e2e::toUtf8(journal);
  EXPECT_EQ(L"call 2\n[P:]\n[" + subst.path + L"]\n", subst.calls());
  launcher.quitAndExpectZero();
}
