#include "orchestration/start_failure.h"

#include "config/support_contacts.h"
#include "win/system_error.h"

std::wstring startFailureMessage(DWORD error, const std::wstring& commandLine, const std::wstring& folder) {
  std::wstring text = kStartFailureHeading;
  text += formatSystemError(error);
  text += L"\r\n\r\nКоманда:\r\n";
  text += commandLine;
  text += L"\r\n\r\nПапка запуска:\r\n";
  text += folder.empty() ? std::wstring(kInheritedFolderName) : folder;
  text += L"\r\n\r\nПожалуйста, обратитесь в Службу поддержки:\r\n";
  text += L" " + std::wstring(kSupportEmail) + L"\r\n";
  text += L" " + std::wstring(kSupportPhone) + L"\r\n";
  text += L" " + std::wstring(kSupportWebsite);
  return text;
}

std::wstring startFailureText(const StartFailure& failure, const std::wstring& commandLine,
                              const std::wstring& folder) {
  switch (failure.step) {
    case StartStep::OutputPipe:
      return L"Ошибка создания пайпа для stdout: " + formatSystemError(failure.error);
    case StartStep::ErrorPipe:
      return L"Ошибка создания пайпа для stderr: " + formatSystemError(failure.error);
    case StartStep::Process:
      break;
  }
  return startFailureMessage(failure.error, commandLine, folder);
}
