#include "orchestration/mysql_error_log.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "process/child_process.h"
#include "process/output_capture.h"
#include "tests/support/e2e_support.h"

namespace {

// A database installed as <root>\mysql\bin\mysqld.exe, started in <root>\mysql.
struct Install {
  e2e::TempFolder root{L"mysql"};
  std::wstring base = root.file(L"mysql");
  std::wstring data = base + L"\\data";
  Install() {
    CreateDirectoryW(base.c_str(), nullptr);
    CreateDirectoryW((base + L"\\bin").c_str(), nullptr);
    CreateDirectoryW(data.c_str(), nullptr);
  }
  std::wstring command(const std::wstring& args) const {
    return e2e::quoted(base + L"\\bin\\mysqld.exe") + L" " + args;
  }
  std::wstring find(const std::wstring& args, bool* consoleOnly) const {
    return FindMysqlErrorLog(command(args), base + L"\\bin\\mysqld.exe", base, consoleOnly);
  }
};

std::wstring hostName() {
  wchar_t name[256];
  DWORD size = 256;
  return GetComputerNameExW(ComputerNameDnsHostname, name, &size) ? std::wstring(name, size) : std::wstring();
}

std::wstring mysqlLines(const ErrorLogMark& mark) {
  return errorLogLines(mark, L"Журнал ошибок MySQL");
}

std::wstring heading(const std::wstring& path) {
  return L"Журнал ошибок MySQL (" + path + L"):\r\n";
}

TEST(MysqlErrorLog, IsFoundAsTheServerFindsIt) {
  std::wstring host = hostName();
  ASSERT_FALSE(host.empty());
  struct Case {
    const char* what;
    std::vector<std::pair<std::wstring, std::string>> files;  // under the install's base folder
    std::wstring args;
    std::wstring expected;  // under the base folder; "%host%" stands for the host name
  };
  const Case cases[] = {
      {"command line, relative to the data folder", {}, L"--log-error=logs\\db.log", L"data\\logs\\db.log"},
      {"command line, underscore, no extension", {}, L"--console-x --log_error=server", L"data\\server.err"},
      {"nothing set: the host name", {}, L"", L"data\\%host%.err"},
      {"my.ini in the base folder",
       {{L"my.ini", "[client]\r\nlog-error=client.log\r\n[mysqld]\r\nlog-error=base\r\n[mysql]\r\nlog-error=no\r\n"}},
       L"",
       L"data\\base.err"},
      {"later values win, keys in any case, server and mariadb sections",
       {{L"my.cnf", "[mysqld]\nlog-error=first.log\n[SERVER]\nLog_Error = second.log\n[mariadb]\n# log-error=no\n"}},
       L"",
       L"data\\second.log"},
      {"quotes, end comment and the server's escapes",
       {{L"my.ini", "[mysqld]\nlog-error = 'it\\'s\\sx.log'  # a comment\n"}},
       L"",
       L"data\\it's x.log"},
      {"datadir from the file", {{L"my.ini", "[mysqld]\ndatadir=db\nlog-error=e.log\n"}}, L"", L"db\\e.log"},
      {"datadir on the command line wins",
       {{L"my.ini", "[mysqld]\ndatadir=db\n"}},
       L"--datadir other",
       L"other\\%host%.err"},
      {"a name on the command line beats the files",
       {{L"my.ini", "[mysqld]\nlog-error=file.log\n"}},
       L"--log-error=cmd.log",
       L"data\\cmd.log"},
      {"--log-error without a name: the default",
       {{L"my.ini", "[mysqld]\nlog-error=file.log\n"}},
       L"--log-error",
       L"data\\%host%.err"},
      {"!include",
       {{L"my.ini", "[mysqld]\n!include extra\\inc.cnf\n"}, {L"extra\\inc.cnf", "[mariadb]\nlog-error=inc\n"}},
       L"",
       L"data\\inc.err"},
      {"!includedir takes .ini and .cnf in order, nothing else",
       {{L"my.ini", "!includedir conf.d\n"},
        {L"conf.d\\a.cnf", "[mysqld]\nlog-error=a.log\n"},
        {L"conf.d\\b.ini", "[mysqld]\nlog-error=b.log\n"},
        {L"conf.d\\c.txt", "[mysqld]\nlog-error=c.log\n"}},
       L"",
       L"data\\b.log"},
      {"the data folder's my.ini after the base folder's",
       {{L"my.ini", "[mysqld]\nlog-error=base.log\n"}, {L"data\\my.ini", "[mysqld]\nlog-error=data.log\n"}},
       L"",
       L"data\\data.log"},
      {"--defaults-file: only that file",
       {{L"my.ini", "[mysqld]\nlog-error=base.log\n"}, {L"only.cnf", "[mysqld]\ndatadir=d2\n"}},
       L"--defaults-file=only.cnf",
       L"d2\\%host%.err"},
      {"--defaults-extra-file: read last",
       {{L"my.ini", "[mysqld]\nlog-error=base.log\n"}, {L"extra.cnf", "[mysqld]\nlog-error=extra.log\n"}},
       L"--defaults-extra-file=extra.cnf",
       L"data\\extra.log"},
      {"--no-defaults", {{L"my.ini", "[mysqld]\nlog-error=base.log\n"}}, L"--no-defaults", L"data\\%host%.err"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Install install;
    CreateDirectoryW((install.base + L"\\extra").c_str(), nullptr);
    CreateDirectoryW((install.base + L"\\conf.d").c_str(), nullptr);
    for (const auto& file : c.files) ASSERT_TRUE(e2e::writeFile(install.base + L"\\" + file.first, file.second));
    std::wstring expected = install.base + L"\\" + c.expected;
    size_t at = expected.find(L"%host%");
    if (at != std::wstring::npos) expected.replace(at, 6, host);
    bool consoleOnly = true;
    EXPECT_EQ(install.find(c.args, &consoleOnly), expected);
    EXPECT_FALSE(consoleOnly);
  }
}

TEST(MysqlErrorLog, ConsoleMeansNoLogAndTheProgramIsTheOneTheStartRuns) {
  Install install;
  bool consoleOnly = false;
  EXPECT_EQ(install.find(L"--log-error=x.log --console", &consoleOnly), L"");
  EXPECT_TRUE(consoleOnly);
  // Nothing to go by: no guess in the Launcher's own folder.
  EXPECT_EQ(FindMysqlErrorLog(L"", L"", L"", &consoleOnly), L"");

  // Programs made under the program folder (root) and run in root\mysql; paths under the root.
  struct Case {
    std::wstring program, command, onPath, expected;
  } const cases[] = {
      {L"mysql\\bin\\mysqld.exe", L"mysql\\bin\\mysqld", L"", L"mysql\\data\\x.log"},
      {L"my sql\\bin\\mysqld.exe", L"my sql\\bin\\mysqld.exe", L"", L"my sql\\data\\x.log"},
      {L"other\\bin\\mysqld.exe", L"mysqld.exe", L"other\\bin", L"other\\data\\x.log"},
  };
  std::wstring path(32768, L'\0');
  path.resize(GetEnvironmentVariableW(L"PATH", &path[0], 32768));
  for (const Case& c : cases) {
    SCOPED_TRACE(e2e::toUtf8(c.command));
    e2e::TempFolder root{L"prog"};
    CreateDirectoryW(root.file(c.program.substr(0, c.program.find(L'\\'))).c_str(), nullptr);
    CreateDirectoryW(root.file(c.program.substr(0, c.program.rfind(L'\\'))).c_str(), nullptr);
    ASSERT_TRUE(e2e::writeFile(root.file(c.program), ""));
    SetEnvironmentVariableW(L"PATH", (c.onPath.empty() ? path : root.file(c.onPath) + L";" + path).c_str());
    std::wstring command = c.command + L" --log-error=x.log";
    EXPECT_EQ(FindMysqlErrorLog(command, startedProgramPath(command, root.path), root.file(L"mysql"), &consoleOnly),
              root.file(c.expected));
  }
  SetEnvironmentVariableW(L"PATH", path.c_str());
}

TEST(MysqlErrorLog, BadOptionFilesNeitherHangNorLendTheirContent) {
  Install install;
  bool consoleOnly = false;
  std::wstring fallback = install.data + L"\\" + hostName() + L".err";

  // Includes itself twice over: bounded in depth and in files read.
  std::wstring loop = install.base + L"\\loop.cnf";
  ASSERT_TRUE(e2e::writeFile(loop, "[mysqld]\n!include " + e2e::toUtf8(loop) + "\n!include " + e2e::toUtf8(loop) +
                                       "\n!includedir " + e2e::toUtf8(install.base) + "\ndatadir=looped\n"));
  EXPECT_EQ(install.find(L"--defaults-file=loop.cnf", &consoleOnly),
            install.base + L"\\looped\\" + hostName() + L".err");

  // Only the first MiB of a huge file counts.
  std::string huge =
      "[mysqld]\nlog-error=head.log\n" + std::string(kOptionFileReadBytes, '#') + "\nlog-error=tail.log\n";
  ASSERT_TRUE(e2e::writeFile(install.base + L"\\huge.cnf", huge));
  EXPECT_EQ(install.find(L"--defaults-file=huge.cnf", &consoleOnly), install.data + L"\\head.log");

  // No section, a folder in a file's place, a file kept from readers, a file that is not there,
  // binary junk: the default.
  ASSERT_TRUE(e2e::writeFile(install.base + L"\\my.ini", "log-error=nosection.log\n"));
  EXPECT_EQ(install.find(L"", &consoleOnly), fallback);
  CreateDirectoryW((install.base + L"\\folder.cnf").c_str(), nullptr);
  EXPECT_EQ(install.find(L"--defaults-file=folder.cnf", &consoleOnly), fallback);
  EXPECT_EQ(install.find(L"--defaults-file=missing.cnf", &consoleOnly), fallback);
  ASSERT_TRUE(e2e::writeFile(install.base + L"\\junk.cnf", std::string("\0\xFF[mysqld\n=\n\xC3", 13)));
  EXPECT_EQ(install.find(L"--defaults-file=junk.cnf", &consoleOnly), fallback);
  std::wstring locked = install.base + L"\\locked.cnf";
  ASSERT_TRUE(e2e::writeFile(locked, "[mysqld]\nlog-error=locked.log\n"));
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(install.find(L"--defaults-file=locked.cnf", &consoleOnly), fallback);
  CloseHandle(holder);
  EXPECT_EQ(install.find(L"--defaults-file=locked.cnf", &consoleOnly), install.data + L"\\locked.log");
}

TEST(MysqlErrorLog, ShowsOnlyWhatThisRunWrote) {
  Install install;
  std::wstring log = install.data + L"\\server.err";
  ASSERT_TRUE(e2e::writeFile(log, "old line of an earlier run\r\n"));
  ErrorLogMark mark = markErrorLog(log);
  EXPECT_EQ(mysqlLines(mark), L"Журнал ошибок MySQL (" + log + L") не изменился с момента запуска.");

  e2e::Process server;
  ASSERT_TRUE(server.start(e2e::quoted(e2e::binPath(L"fake_server.exe")) + L" --log-line " + e2e::quoted(log) +
                           L" \"[ERROR] Ошибка InnoDB\" --log-line " + e2e::quoted(log) + L" \"Aborting\" --run 0"));
  ASSERT_TRUE(server.waitExit(e2e::kTimeoutMs));
  EXPECT_EQ(mysqlLines(mark), heading(log) + L"[ERROR] Ошибка InnoDB\r\nAborting");
}

TEST(MysqlErrorLog, ShrunkReplacedOrNewLogsAreShownWhole) {
  Install install;
  std::wstring log = install.data + L"\\server.err";
  ASSERT_TRUE(e2e::writeFile(log, "a long line of an earlier run\r\n"));
  ErrorLogMark mark = markErrorLog(log);
  ASSERT_TRUE(e2e::writeFile(log, "short\r\n"));
  EXPECT_EQ(mysqlLines(mark), heading(log) + L"short");

  // Replaced by a longer file: not read from the old size on.
  mark = markErrorLog(log);
  std::wstring other = install.data + L"\\new.err";
  ASSERT_TRUE(e2e::writeFile(other, "first of the new file\r\nsecond\r\n"));
  ASSERT_TRUE(MoveFileExW(other.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(mysqlLines(mark), heading(log) + L"first of the new file\r\nsecond");

  std::wstring later = install.data + L"\\later.err";
  mark = markErrorLog(later);
  EXPECT_FALSE(mark.existed);
  ASSERT_TRUE(e2e::writeFile(later, "\r\nborn in this run\r\n"));
  EXPECT_EQ(mysqlLines(mark), heading(later) + L"born in this run");
}

TEST(MysqlErrorLog, MissingLockedOrDeletedLogs) {
  Install install;
  EXPECT_EQ(mysqlLines(markErrorLog(L"")), L"Журнал ошибок MySQL не найден.");
  std::wstring log = install.data + L"\\server.err";
  EXPECT_EQ(mysqlLines(markErrorLog(log)), L"Журнал ошибок MySQL не найден.");
  EXPECT_EQ(mysqlLines(markErrorLog(install.data)), L"Журнал ошибок MySQL не найден.");

  ASSERT_TRUE(e2e::writeFile(log, "line\r\n"));
  ErrorLogMark mark = markErrorLog(log);
  HANDLE holder = CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(mysqlLines(mark), L"Журнал ошибок MySQL (" + log + L") не изменился с момента запуска.");
  CloseHandle(holder);
  ASSERT_TRUE(DeleteFileW(log.c_str()));
  EXPECT_EQ(mysqlLines(mark), L"Журнал ошибок MySQL не найден.");
}

TEST(MysqlErrorLog, DecodesUtf8OrAnsiAndKeepsTheNewestPartOfAHugeLog) {
  Install install;
  std::wstring log = install.data + L"\\server.err";
  ASSERT_TRUE(e2e::writeFile(log, ""));
  ErrorLogMark mark = markErrorLog(log);
  ASSERT_TRUE(e2e::writeFile(log, "caf\xE9\r\n"));
  EXPECT_EQ(mysqlLines(mark), heading(log) + e2e::ansiText("caf\xE9"));
  ASSERT_TRUE(e2e::writeFile(log, "Ошибка\r\n"));
  EXPECT_EQ(mysqlLines(mark), heading(log) + L"Ошибка");

  // Twice the read bound of UTF-8 lines: the newest lines come, whole, after the cut note.
  std::string line = "Строка журнала ошибок сервера\r\n";
  std::string bytes;
  while (bytes.size() < 2 * kErrorLogReadBytes) bytes += line;
  ASSERT_TRUE(e2e::writeFile(log, bytes + "last\r\n"));
  std::wstring entry = mysqlLines(mark);
  std::wstring expectedStart = heading(log) + kOutputCutNote + L"Строка журнала";
  EXPECT_EQ(entry.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(entry.substr(entry.size() - 6), L"\r\nlast");
  EXPECT_LE(entry.size(), heading(log).size() + wcslen(kOutputCutNote) + 16384);
}

}  // namespace
