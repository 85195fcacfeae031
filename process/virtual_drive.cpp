#include "process/virtual_drive.h"

#include <windows.h>

#include <vector>

#include "win/handles.h"
#include "win/system_files.h"
#include "win/text.h"

bool ParseSubstDrive(const std::wstring& setting, std::wstring* drive) {
  std::wstring trimmed = TrimWide(setting);
  if (trimmed.size() != 2 || trimmed[1] != L':') return false;
  wchar_t letter = trimmed[0];
  if (!((letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z'))) return false;
  if (drive) *drive = trimmed;
  return true;
}

std::wstring SubstCommandLine(const std::wstring& substPath, const std::wstring& drive, const std::wstring& folder) {
  size_t trailing = 0;
  while (trailing < folder.size() && folder[folder.size() - 1 - trailing] == L'\\') ++trailing;
  return L"\"" + substPath + L"\" " + drive + L" \"" + folder + std::wstring(trailing, L'\\') + L"\"";
}

namespace {

// A drive letter's attributes without the system's "no disk" box for an empty removable drive.
// Set for this thread only: the servers would inherit the process's error mode.
DWORD quietAttributes(const std::wstring& path) {
  DWORD oldMode = 0;
  bool quiet = SetThreadErrorMode(GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &oldMode) != FALSE;
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (quiet) SetThreadErrorMode(oldMode, nullptr);
  return attributes;
}

}  // namespace

DriveLetterState driveLetterState(const std::wstring& drive) {
  if (quietAttributes(drive + L"\\") == INVALID_FILE_ATTRIBUTES) return DriveLetterState::Free;
  DWORD home = quietAttributes(drive + L"\\home");
  bool ours = home != INVALID_FILE_ATTRIBUTES && (home & FILE_ATTRIBUTE_DIRECTORY);
  return ours ? DriveLetterState::Ours : DriveLetterState::Taken;
}

SubstOutcome runSubst(const std::wstring& drive, const std::wstring& startupFolder) {
  SubstOutcome outcome;
  // subst itself, named in full: by its bare name CreateProcessW would take one from the program
  // folder first, and through cmd.exe the registry's AutoRun command would run before it and
  // %NAME% in the folder would be expanded even inside quotes.
  std::wstring folder, substPath;
  if (!systemFolder(&folder) || !systemFilePath(L"subst.exe", &substPath)) {
    outcome.error = GetLastError();
    return outcome;
  }
  std::wstring commandLine = SubstCommandLine(substPath, drive, startupFolder);
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  // In the system folder, so that nothing it loads by name comes from the program folder.
  if (!CreateProcessW(substPath.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      folder.c_str(), &startup, &info)) {
    outcome.error = GetLastError();
    return outcome;
  }
  closeHandle(info.hThread);
  // Bounded: the start-up runs before the message loop, so a stuck subst must not hold it.
  if (WaitForSingleObject(info.hProcess, kSubstTimeoutMs) == WAIT_TIMEOUT) {
    closeHandle(info.hProcess);
    outcome.result = SubstResult::TimedOut;
    return outcome;
  }
  GetExitCodeProcess(info.hProcess, &outcome.exitCode);
  closeHandle(info.hProcess);
  outcome.result = SubstResult::Finished;
  return outcome;
}
