#include "orchestration/start_failure.h"

#include <gtest/gtest.h>

#include "config/support_contacts.h"
#include "win/system_error.h"

TEST(StartFailureMessage, NamesTheSystemErrorTheCommandTheFolderAndWhereToGetHelp) {
  const std::wstring command = L"\"C:\\Program Files\\Сервер\\httpd.exe\" -f conf";
  const std::wstring help = std::wstring(L"\r\n\r\nПожалуйста, обратитесь в Службу поддержки:\r\n ") + kSupportEmail +
                            L"\r\n " + kSupportPhone + L"\r\n " + kSupportWebsite;
  struct Row {
    DWORD error;
    std::wstring folder;
    std::wstring shownFolder;
  } rows[] = {
      {ERROR_FILE_NOT_FOUND, L"", L"(inherit)"},  // the Launcher's current directory
      {ERROR_DIRECTORY, L"C:\\Серверы\\нет", L"C:\\Серверы\\нет"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    EXPECT_EQ(startFailureMessage(row.error, command, row.folder),
              L"Ошибка запуска компонента программы (0x44): \n" + formatSystemError(row.error) +
                  L"\r\n\r\nКоманда:\r\n" + command + L"\r\n\r\nПапка запуска:\r\n" + row.shownFolder + help);
  }
}

TEST(StartFailureMessage, APipeThatCouldNotBeMadeIsNamedAlone) {
  const std::wstring system = formatSystemError(ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(L"Ошибка создания пайпа для stdout: " + system,
            startFailureText({StartStep::OutputPipe, ERROR_NOT_ENOUGH_MEMORY}, L"httpd.exe", L""));
  EXPECT_EQ(L"Ошибка создания пайпа для stderr: " + system,
            startFailureText({StartStep::ErrorPipe, ERROR_NOT_ENOUGH_MEMORY}, L"httpd.exe", L""));
  EXPECT_EQ(startFailureMessage(ERROR_NOT_ENOUGH_MEMORY, L"httpd.exe", L""),
            startFailureText({StartStep::Process, ERROR_NOT_ENOUGH_MEMORY}, L"httpd.exe", L""));
}
