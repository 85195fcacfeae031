// The program folder is an ordinary user folder: DLLs and programs dropped there under the names
// of system files are never run by the real program, and its servers inherit only their pipes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/e2e_support.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/test_drives.h"

namespace {

// The names a planted file takes, and the stand-in that each one is a copy of.
struct Plant {
  const wchar_t* name;
  const wchar_t* standIn;
};
const Plant kPlants[] = {
    {L"msftedit.dll", L"planted_library.dll"},
    {L"riched20.dll", L"planted_library.dll"},
    {L"cmd.exe", L"planted_program.exe"},
    {L"subst.exe", L"planted_program.exe"},
};

// What a planted stand-in leaves beside itself when something runs it.
std::vector<std::wstring> tracesIn(const std::wstring& folder) {
  std::vector<std::wstring> found;
  for (const Plant& plant : kPlants) {
    for (const wchar_t* suffix : {L".loaded", L".ran"}) {
      std::wstring trace = folder + L"\\" + plant.name + suffix;
      if (e2e::fileExists(trace)) found.push_back(trace + L": " + e2e::fromUtf8(e2e::readFile(trace)));
    }
  }
  return found;
}

// Wine takes its own copy of a system DLL before one in the program folder; Windows searches the
// program folder first for any DLL that is not one of its known DLLs. While this lives, Wine does
// as Windows would for that DLL, for wendlor.exe only.
struct ProgramFolderDllFirst {
  const wchar_t* dll;
  std::wstring appKey = L"Software\\Wine\\AppDefaults\\wendlor.exe";
  bool appKeyExisted = false;
  explicit ProgramFolderDllFirst(const wchar_t* name) : dll(name) {
    if (!e2e::underWine()) return;
    HKEY key = nullptr;
    appKeyExisted = RegOpenKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
    key = nullptr;
    const std::wstring value = L"native,builtin";
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, (appKey + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
      status = RegSetValueExW(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
    EXPECT_EQ(ERROR_SUCCESS, status) << "the DLL override could not be set";
  }
  ~ProgramFolderDllFirst() {
    if (!e2e::underWine()) return;
    if (appKeyExisted) {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, (appKey + L"\\DllOverrides").c_str(), dll);
    } else {
      RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str());
    }
  }
  ProgramFolderDllFirst(const ProgramFolderDllFirst&) = delete;
  ProgramFolderDllFirst& operator=(const ProgramFolderDllFirst&) = delete;
};

std::string joined(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\n";
  return e2e::toUtf8(text);
}

}  // namespace

TEST(SafetyE2e, FilesPlantedUnderSystemNamesAreNeverRun) {
  enum class Kind { programs, readOnlyPrograms, folders };
  struct Case {
    const char* name;
    Kind kind;
  };
  const Case cases[] = {
      {"working stand-ins", Kind::programs},
      {"read-only stand-ins", Kind::readOnlyPrograms},
      {"folders", Kind::folders},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    e2e::Launcher launcher;
    e2e::SubstStandIn subst;
    for (const Plant& plant : kPlants) {
      std::wstring path = launcher.folder.file(plant.name);
      if (each.kind == Kind::folders) {
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        continue;
      }
      ASSERT_TRUE(CopyFileW(e2e::binPath(plant.standIn).c_str(), path.c_str(), FALSE));
      if (each.kind == Kind::readOnlyPrograms) {
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
      }
    }
    LauncherConfig config;
    config.webServer = L"no-such-server.exe";
    e2e::DriveLetter free;
    ASSERT_NE(0, free.letter);
    config.substDrive = free.drive();
    ASSERT_TRUE(launcher.prepare(config));
    // Started as a double-click starts it: in its own folder, where cmd looks for subst first.
    ASSERT_TRUE(launcher.start(L"", subst.environment()));

    // The Journal is a working rich edit: every line is there in its colour.
    ASSERT_TRUE(launcher.waitJournal(L"Подождите...", e2e::kTimeoutMs)) << e2e::toUtf8(launcher.journal());
    std::vector<e2e::JournalEntry> entries = launcher.entries();
    size_t wait = e2e::indexOf(entries, L"Подождите...");
    ASSERT_NE(wait, std::wstring::npos);
    EXPECT_EQ(e2e::kBlack, entries[wait].colour);
    size_t failed = e2e::indexStarting(entries, L"ОШИБКА запуска веб-сервера: ");
    ASSERT_NE(failed, std::wstring::npos);
    EXPECT_EQ(e2e::kRed, entries[failed].colour);
    EXPECT_EQ(std::wstring::npos, e2e::indexStarting(entries, L"ОШИБКА subst")) << e2e::toUtf8(launcher.journal());

    // The system's cmd.exe ran the mapping with the system's subst.
    if (e2e::SubstStandIn::recording(nullptr)) {
      EXPECT_EQ(L"call 2\n[" + free.drive() + L"]\n[" + launcher.folder.path + L"]\n", subst.calls());
    }
    launcher.quitAndExpectZero(IDM_EXIT);
    EXPECT_EQ("", joined(tracesIn(launcher.folder.path)));
  }
}

TEST(SafetyE2e, ServersInheritNoHandleOfTheLauncherButTheirPipes) {
  // An inheritable file handle that the Launcher inherits from us, and so holds as inheritable.
  e2e::TempFolder markers(L"inherit");
  const std::wstring secret = L"inherited-by-the-launcher-only.txt";
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE file = CreateFileW(markers.file(secret).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  std::wstring probe = L"--handle-file " + std::to_wstring(reinterpret_cast<UINT_PTR>(file));
  auto reached = [&](const e2e::StandIn& server) {
    std::wstring named = e2e::markerValue(server.marker, L"handle-file");
    return named.size() >= secret.size() && named.compare(named.size() - secret.size(), secret.size(), secret) == 0;
  };
  auto probed = [&](const e2e::StandIn& server) {
    return e2e::waitFor(
        [&] {
          return !e2e::markerValue(server.marker, L"handle-file").empty() ||
                 !e2e::markerValue(server.marker, L"handle-file-none error").empty();
        },
        e2e::kTimeoutMs);
  };

  // The probe itself works: a child that inherits everything names the file.
  {
    e2e::StandIn direct(markers.file(L"direct.txt"));
    direct.process.inheritHandles = true;
    ASSERT_TRUE(direct.process.start(direct.command(probe)));
    ASSERT_TRUE(probed(direct)) << direct.events();
    ASSERT_TRUE(reached(direct)) << direct.events();
  }

  e2e::StandIn web(markers.file(L"web.txt"));
  e2e::StandIn db(markers.file(L"db.txt"));
  e2e::Launcher launcher;
  launcher.process.inheritHandles = true;
  LauncherConfig config;
  config.webServer = web.command(probe);
  config.mysqlServer = db.command(probe);
  ASSERT_TRUE(launcher.prepare(config));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(web.attach());
  ASSERT_TRUE(db.attach());
  ASSERT_TRUE(probed(web)) << web.events();
  ASSERT_TRUE(probed(db)) << db.events();
  EXPECT_FALSE(reached(web)) << web.events();
  EXPECT_FALSE(reached(db)) << db.events();
  // What the web server does get: its standard output is still the Launcher's pipe.
  EXPECT_TRUE(web.has(L"stdout=3")) << web.events();
  launcher.quitAndExpectZero();
  CloseHandle(file);
}

// iphlpapi.dll is no known DLL: were it imported, the loader would take a planted copy before any
// code of ours runs. The port's owner is still found when the database dies early.
using PlantedDllE2e = e2e::LauncherTest;
TEST_F(PlantedDllE2e, IphlpapiInTheProgramFolderIsNeverLoadedAndThePortOwnerIsStillNamed) {
  ProgramFolderDllFirst preferPlanted(L"iphlpapi");
  e2e::LoopbackListener holder;  // this test program holds the database's port
  ASSERT_NE(holder.port, 0) << "no listener";
  std::wstring planted = launcher.folder.file(L"iphlpapi.dll");
  ASSERT_TRUE(CopyFileW(e2e::binPath(L"planted_library.dll").c_str(), planted.c_str(), FALSE));
  LauncherConfig config;
  config.webServer = standIns.command(L"web");
  config.mysqlServer = standIns.command(L"db", L"--run 500 -P " + std::to_wstring(holder.port));
  ASSERT_TRUE(launcher.prepare(config));
  ASSERT_TRUE(launcher.start());

  const std::wstring report = L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл";
  ASSERT_TRUE(launcher.waitJournal(report, e2e::kTimeoutMs))
      << e2e::toUtf8(launcher.journal()) << "\nloaded by: " << e2e::readFile(planted + L".loaded");
  std::wstring line = L"Порт " + std::to_wstring(holder.port) + L" занят другой программой";
  ASSERT_TRUE(launcher.waitJournal(line, e2e::kTimeoutMs)) << e2e::toUtf8(launcher.journal());
  std::vector<e2e::JournalEntry> entries = launcher.entries();
  size_t at = e2e::indexOf(entries, report);
  ASSERT_NE(at, std::wstring::npos);
  ASSERT_GT(entries.size(), at + 1);
  // Windows names this program; Wine's table gives no owner.
  std::wstring named = line + L": wendlor_e2e_tests.exe (PID: " + std::to_wstring(GetCurrentProcessId()) + L")";
  EXPECT_TRUE(entries[at + 1].text == named || (e2e::underWine() && entries[at + 1].text == line + L"."))
      << e2e::toUtf8(entries[at + 1].text);
  launcher.quitAndExpectZero();
  EXPECT_FALSE(e2e::fileExists(planted + L".loaded")) << e2e::readFile(planted + L".loaded");
}
