// A web server laid out as Apache httpd is (bin\httpd.exe, conf\httpd.conf, logs\error.log) that
// dies at its start: the report of its end closes with what this run wrote to its own error log.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

using WebServerLogE2e = e2e::LauncherTest;

}  // namespace

TEST_F(WebServerLogE2e, AnEarlyEndReportEndsWithTheWebServersOwnErrorLog) {
  std::wstring apache = standIns.folder.file(L"Apache24");
  for (const wchar_t* folder : {L"", L"\\bin", L"\\conf", L"\\logs"}) {
    CreateDirectoryW((apache + folder).c_str(), nullptr);
  }
  std::wstring httpd = apache + L"\\bin\\httpd.exe";
  ASSERT_TRUE(CopyFileW(e2e::binPath(L"fake_server.exe").c_str(), httpd.c_str(), FALSE));
  ASSERT_TRUE(e2e::writeFile(apache + L"\\conf\\httpd.conf", "Listen 80\r\nErrorLog \"logs/error.log\"\r\n"));
  std::wstring log = apache + L"\\logs\\error.log";
  ASSERT_TRUE(e2e::writeFile(log, "[core:notice] an earlier run\r\n"));

  LauncherConfig settings;
  settings.webServer = e2e::quoted(httpd) + L" --marker " + e2e::quoted(standIns.marker(L"web")) + L" --log-line " +
                       e2e::quoted(log) + L" \"[core:error] AH00015: Unable to open logs\" --run 300 --exit-code 1";
  ASSERT_TRUE(launcher.prepare(settings));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(launcher.waitJournal(L"Журнал ошибок веб-сервера (", e2e::kTimeoutMs)) << e2e::toUtf8(launcher.journal());

  std::vector<e2e::JournalEntry> entries = launcher.entries();
  size_t report = e2e::indexOf(entries, L"ОШИБКА: Веб-сервер неожиданно закрылся!");
  ASSERT_NE(report, std::wstring::npos) << e2e::toUtf8(launcher.journal());
  ASSERT_GT(entries.size(), report + 1);
  EXPECT_EQ(entries.back().text,
            L"Журнал ошибок веб-сервера (" + log + L"):\n[core:error] AH00015: Unable to open logs");
  EXPECT_EQ(entries.back().colour, e2e::kRed);
  launcher.quitAndExpectZero();
}
