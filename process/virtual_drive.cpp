#include "process/virtual_drive.h"

#include <windows.h>

#include <vector>

#include "app/application.h"
#include "app/handles.h"
#include "app/system_files.h"
#include "config/paths.h"
#include "process/system_error.h"

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

void Application::mapVirtualDrive() {
  if (TrimWide(config.substDrive).empty()) return;
  std::wstring drive;
  if (!ParseSubstDrive(config.substDrive, &drive)) {
    appendJournal(L"ОШИБКА subst: Недопустимое значение substdrive \"" + TrimWide(config.substDrive) +
                      L"\": нужна одна буква диска с двоеточием, например W:",
                  true, false);
    return;
  }

  appendJournal(L"Создание виртуального диска: " + drive, false, false);

  if (quietAttributes(drive + L"\\") != INVALID_FILE_ATTRIBUTES) {
    DWORD home = quietAttributes(drive + L"\\home");
    if (home != INVALID_FILE_ATTRIBUTES && (home & FILE_ATTRIBUTE_DIRECTORY)) {
      appendJournal(L"Диск уже был создан ранее. ", false, false);
    } else {
      appendJournal(L"ОШИБКА subst: Буква диска уже занята и диск не указывает на папку с программой", true, false);
    }
    return;
  }

  // subst itself, named in full: by its bare name CreateProcessW would take one from the program
  // folder first, and through cmd.exe the registry's AutoRun command would run before it and
  // %NAME% in the folder would be expanded even inside quotes.
  std::wstring folder, substPath;
  if (!systemFolder(&folder) || !systemFilePath(L"subst.exe", &substPath)) {
    DWORD error = GetLastError();
    appendJournal(L"ОШИБКА subst: Не удалось выполнить команду subst: " + formatSystemError(error), true, false);
    return;
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
    DWORD error = GetLastError();
    appendJournal(L"ОШИБКА subst: Не удалось выполнить команду subst: " + formatSystemError(error), true, false);
    return;
  }
  closeHandle(info.hThread);
  // Bounded: the start-up runs before the message loop, so a stuck subst must not hold it.
  if (WaitForSingleObject(info.hProcess, kSubstTimeoutMs) == WAIT_TIMEOUT) {
    closeHandle(info.hProcess);
    appendJournal(L"ОШИБКА subst: Команда subst не завершилась за 10 секунд.", true, false);
    return;
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  closeHandle(info.hProcess);
  if (code != 0) {
    appendJournal(L"ОШИБКА subst: Команда subst завершилась с ошибкой. Код выхода: " + std::to_wstring(code), true,
                  false);
  }
}
