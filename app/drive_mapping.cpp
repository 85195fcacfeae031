#include "app/application.h"
#include "process/virtual_drive.h"
#include "win/system_error.h"
#include "win/text.h"

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

  switch (driveLetterState(drive)) {
    case DriveLetterState::Ours:
      appendJournal(L"Диск уже был создан ранее. ", false, false);
      return;
    case DriveLetterState::Taken:
      appendJournal(L"ОШИБКА subst: Буква диска уже занята и диск не указывает на папку с программой", true, false);
      return;
    case DriveLetterState::Free:
      break;
  }

  SubstOutcome outcome = runSubst(drive, startupFolder);
  switch (outcome.result) {
    case SubstResult::NotStarted:
      appendJournal(L"ОШИБКА subst: Не удалось выполнить команду subst: " + formatSystemError(outcome.error), true,
                    false);
      return;
    case SubstResult::TimedOut:
      appendJournal(L"ОШИБКА subst: Команда subst не завершилась за 10 секунд.", true, false);
      return;
    case SubstResult::Finished:
      if (outcome.exitCode != 0) {
        appendJournal(
            L"ОШИБКА subst: Команда subst завершилась с ошибкой. Код выхода: " + std::to_wstring(outcome.exitCode),
            true, false);
      }
      return;
  }
}
