#include "orchestration/httpd_error_log.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/e2e_support.h"

namespace {

// A web server installed as <root>\Apache24\bin\httpd.exe and started in <root>\Apache24.
struct Install {
  e2e::TempFolder root{L"httpd"};
  std::wstring base = root.file(L"Apache24");
  Install() { CreateDirectoryW(base.c_str(), nullptr); }
  // name under the base folder, its folders made as needed; "%base%" in bytes stands for it.
  bool write(const std::wstring& name, std::string bytes) const {
    for (size_t slash = name.find(L'\\'); slash != std::wstring::npos; slash = name.find(L'\\', slash + 1)) {
      CreateDirectoryW((base + L"\\" + name.substr(0, slash)).c_str(), nullptr);
    }
    for (size_t at = bytes.find("%base%"); at != std::string::npos; at = bytes.find("%base%")) {
      bytes.replace(at, 6, e2e::toUtf8(base));
    }
    return e2e::writeFile(base + L"\\" + name, bytes);
  }
  std::wstring find(const std::wstring& args, bool* notFile, const std::wstring& program = L"bin\\httpd.exe") const {
    std::wstring path = base + L"\\" + program;
    return FindHttpdErrorLog(e2e::quoted(path) + L" " + args, path, base, notFile);
  }
};

TEST(HttpdErrorLog, IsFoundAsHttpdFindsIt) {
  SetEnvironmentVariableW(L"WENDLOR_TEST_LOG", L"from-env");
  struct Case {
    const char* what;
    std::vector<std::pair<std::wstring, std::string>> files;  // under the base folder
    std::wstring args;
    std::wstring expected;  // under the base folder; empty: no entry at all
    std::wstring program = L"bin\\httpd.exe";
  };
  const Case cases[] = {
      {"no configuration file: not httpd", {}, L"", L""},
      {"the default under bin's parent", {{L"conf\\httpd.conf", "Listen 80\n"}}, L"", L"logs\\error.log"},
      {"not in bin: its own folder", {{L"conf\\httpd.conf", "errorlog top.log\n"}}, L"", L"top.log", L"httpd.exe"},
      {"-d, relative to the server's folder",
       {{L"srv\\conf\\httpd.conf", "ErrorLog \"logs/my error.log\"\n"}},
       L"-d srv",
       L"srv\\logs\\my error.log"},
      {"-f relative to the initial root, joined value",
       {{L"conf\\alt.conf", "ErrorLog alt.log\n"}, {L"conf\\httpd.conf", "ErrorLog no.log\n"}},
       L"-X -fconf/alt.conf",
       L"alt.log"},
      {"ServerRoot from its line on; Include by the root then; ErrorLog by the final one",
       {{L"conf\\httpd.conf",
         "ErrorLog first.log\nInclude conf/a.conf\nServerRoot \"%base%\\srv\"\nInclude conf/b.conf\n"},
        {L"conf\\a.conf", "Define A\n"},
        {L"srv\\conf\\b.conf", "<IfDefine A>\nErrorLog b.log\n</IfDefine>\n"}},
       L"",
       L"srv\\b.log"},
      {"wildcards in name order, a pattern matching nothing, other names left out",
       {{L"conf\\httpd.conf", "IncludeOptional conf/extra/*.conf\nIncludeOptional conf/none/*.conf\n"},
        {L"conf\\extra\\b.conf", "ErrorLog b.log\n"},
        {L"conf\\extra\\a.conf", "ErrorLog a.log\n"},
        {L"conf\\extra\\c.txt", "ErrorLog c.log\n"}},
       L"",
       L"b.log"},
      {"a wildcard in a folder, and a folder included whole",
       {{L"conf\\httpd.conf", "Include conf/site?/main.conf\nInclude \"conf/whole\"\n"},
        {L"conf\\site1\\main.conf", "ErrorLog s1.log\n"},
        {L"conf\\site2\\main.conf", "ErrorLog s2.log\n"},
        {L"conf\\whole\\sub\\z.conf", "ErrorLog z.log\n"},
        {L"conf\\whole\\a.conf", "ErrorLog a.log\n"}},
       L"",
       L"z.log"},
      {"Define, ${NAME} from it or the environment, a continued line and a comment",
       {{L"conf\\httpd.conf",
         "Define LOGS \"my logs\"\nErrorLog \\\n  \"${LOGS}/${WENDLOR_TEST_LOG}.log\"\n#ErrorLog x\n"}},
       L"",
       L"my logs\\from-env.log"},
      {"-D and IfDefine",
       {{L"conf\\httpd.conf", "<IfDefine SSL>\nErrorLog ssl.log\n</IfDefine>\n"}},
       L"-D SSL",
       L"ssl.log"},
      {"!NAME when not defined",
       {{L"conf\\httpd.conf",
         "<IfDefine SSL>\nErrorLog ssl.log\n</IfDefine>\n<IfDefine !SSL>\nErrorLog no-ssl.log\n</IfDefine>\n"}},
       L"",
       L"no-ssl.log"},
      {"-C before the files, its Define seen there",
       {{L"conf\\httpd.conf", "<IfDefine C>\nErrorLog conf.log\n</IfDefine>\n"}},
       L"-C \"Define C\" -C \"ErrorLog before.log\"",
       L"conf.log"},
      {"-c after them", {{L"conf\\httpd.conf", "ErrorLog conf.log\n"}}, L"-c \"ErrorLog after.log\"", L"after.log"},
      {"sections of their own do not count, conditional ones do, the last wins",
       {{L"conf\\httpd.conf",
         "ErrorLog main.log\n<VirtualHost *:80>\n  ErrorLog vhost.log\n  <IfModule ssl_module>\n    ErrorLog "
         "nested.log\n"
         "  </IfModule>\n</VirtualHost>\n<IfModule log_config_module>\n  <IfVersion >= 2.4>\n    ErrorLog cond.log\n"
         "  </IfVersion>\n</IfModule>\n<Directory \"/\">\nErrorLog d.log\n</Directory>\n<Location /x>\nErrorLog l.log\n"
         "</Location>\n<Files x>\nErrorLog f.log\n</Files>\n<Proxy *>\nErrorLog p.log\n</Proxy>\n"}},
       L"",
       L"cond.log"},
      {"a piped log", {{L"conf\\httpd.conf", "ErrorLog \"|bin/rotatelogs.exe logs/error.%Y.log 86400\"\n"}}, L"", L""},
      {"syslog", {{L"conf\\httpd.conf", "ErrorLog syslog:local7\n"}}, L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Install install;
    for (const auto& file : c.files) ASSERT_TRUE(install.write(file.first, file.second));
    ASSERT_TRUE(install.write(c.program, ""));
    bool notFile = false;
    EXPECT_EQ(install.find(c.args, &notFile, c.program), c.expected.empty() ? L"" : install.base + L"\\" + c.expected);
    EXPECT_EQ(notFile, c.expected.empty());
  }
  SetEnvironmentVariableW(L"WENDLOR_TEST_LOG", nullptr);
}

TEST(HttpdErrorLog, BadConfigurationsEndSoonWithWhatCouldBeRead) {
  Install install;
  bool notFile = true;
  DWORD start = GetTickCount();

  // Includes itself, its folder and every file around it, again and again.
  ASSERT_TRUE(install.write(L"conf\\httpd.conf",
                            "Include conf/httpd.conf\nInclude conf\nIncludeOptional %base%/*\nErrorLog looped.log\n"));
  EXPECT_EQ(install.find(L"", &notFile), install.base + L"\\looped.log");

  // A quote left open runs to the end of its line; an include kept from readers is passed over.
  ASSERT_TRUE(install.write(L"conf\\httpd.conf", "ErrorLog \"logs/open.log\nInclude conf/locked.conf\n"));
  ASSERT_TRUE(install.write(L"conf\\locked.conf", "ErrorLog locked.log\n"));
  HANDLE holder =
      CreateFileW((install.base + L"\\conf\\locked.conf").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(install.find(L"", &notFile), install.base + L"\\logs\\open.log");
  CloseHandle(holder);
  EXPECT_FALSE(notFile);

  // 100 MB of lines: only the first part is read.
  std::wstring huge = install.base + L"\\conf\\httpd.conf";
  ASSERT_TRUE(install.write(L"conf\\httpd.conf", "ErrorLog head.log\n" + std::string(kHttpdConfigFileBytes, '\n')));
  HANDLE file = CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 100LL * 1024 * 1024;
  EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "\nErrorLog tail.log\n", 19, &written, nullptr));
  CloseHandle(file);
  EXPECT_EQ(install.find(L"", &notFile), install.base + L"\\head.log");

  // A folder where the file should be: no configuration.
  ASSERT_TRUE(DeleteFileW(huge.c_str()));
  CreateDirectoryW(huge.c_str(), nullptr);
  EXPECT_EQ(install.find(L"", &notFile), L"");
  EXPECT_TRUE(notFile);
  EXPECT_LT(GetTickCount() - start, 20000u);
}

}  // namespace
