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

std::wstring SubstCommandLine(const std::wstring& drive, const std::wstring& folder) {
  size_t trailing = 0;
  while (trailing < folder.size() && folder[folder.size() - 1 - trailing] == L'\\') ++trailing;
  return L"cmd.exe /c subst " + drive + L" \"" + folder + std::wstring(trailing, L'\\') + L"\"";
}

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

  if (GetFileAttributesW((drive + L"\\").c_str()) != INVALID_FILE_ATTRIBUTES) {
    DWORD home = GetFileAttributesW((drive + L"\\home").c_str());
    if (home != INVALID_FILE_ATTRIBUTES && (home & FILE_ATTRIBUTE_DIRECTORY)) {
      appendJournal(L"Диск уже был создан ранее. ", false, false);
    } else {
      appendJournal(L"ОШИБКА subst: Буква диска уже занята и диск не указывает на папку с программой", true, false);
    }
    return;
  }

  std::wstring commandLine = SubstCommandLine(drive, startupFolder);
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  // Named in full: by its bare name CreateProcessW would take a cmd.exe from the program folder
  // or the current one before the system's. It runs in the system folder, because cmd looks for
  // subst in its current folder first, and ours is often the program folder.
  std::wstring folder, interpreter;
  bool started = systemFolder(&folder) && systemFilePath(L"cmd.exe", &interpreter) &&
                 CreateProcessW(interpreter.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                folder.c_str(), &startup, &info) != FALSE;
  if (!started) {
    DWORD error = GetLastError();
    appendJournal(L"ОШИБКА subst: Не удалось выполнить команду subst: " + formatSystemError(error), true, false);
    return;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  closeHandle(info.hThread);
  closeHandle(info.hProcess);
  if (code != 0) {
    appendJournal(L"ОШИБКА subst: Команда subst завершилась с ошибкой. Код выхода: " + std::to_wstring(code), true,
                  false);
  }
}
