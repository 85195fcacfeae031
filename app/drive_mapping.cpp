#include "app/drive_mapping.h"

#include "process/virtual_drive.h"
#include "win/system_error.h"
#include "win/text.h"

JournalLines mapVirtualDrive(const std::wstring& setting, const std::wstring& folder) {
  JournalLines lines;
  if (TrimWide(setting).empty()) return lines;
  std::wstring drive;
  if (!ParseSubstDrive(setting, &drive)) {
    lines.push_back({L"ОШИБКА subst: Недопустимое значение substdrive \"" + TrimWide(setting) +
                         L"\": нужна одна буква диска с двоеточием, например W:",
                     true});
    return lines;
  }

  lines.push_back({L"Создание виртуального диска: " + drive});

  switch (driveLetterState(drive)) {
    case DriveLetterState::Ours:
      lines.push_back({L"Диск уже был создан ранее. "});
      return lines;
    case DriveLetterState::Taken:
      lines.push_back({L"ОШИБКА subst: Буква диска уже занята и диск не указывает на папку с программой", true});
      return lines;
    case DriveLetterState::Free:
      break;
  }

  SubstOutcome outcome = runSubst(drive, folder);
  switch (outcome.result) {
    case SubstResult::NotStarted:
      lines.push_back({L"ОШИБКА subst: Не удалось выполнить команду subst: " + formatSystemError(outcome.error), true});
      return lines;
    case SubstResult::TimedOut:
      lines.push_back({L"ОШИБКА subst: Команда subst не завершилась за 10 секунд.", true});
      return lines;
    case SubstResult::Finished:
      if (outcome.exitCode != 0) {
        lines.push_back(
            {L"ОШИБКА subst: Команда subst завершилась с ошибкой. Код выхода: " + std::to_wstring(outcome.exitCode),
             true});
      }
      return lines;
  }
  return lines;
}
