#include <gtest/gtest.h>

#include <random>

#include "config/launcher_config.h"
#include "tests/support/e2e_support.h"

namespace {

// Writes bytes as wendlor.ini into a fresh folder and loads it the way the program does.
LauncherConfig load(const std::string& bytes, std::wstring* warning = nullptr) {
  e2e::TempFolder folder(L"ini");
  EXPECT_TRUE(e2e::writeFile(folder.file(L"wendlor.ini"), bytes));
  return LoadConfig(folder.path, warning);
}

void expectDefaults(const LauncherConfig& c) {
  LauncherConfig d;
  EXPECT_EQ(c.webServer, d.webServer);
  EXPECT_EQ(c.workingDirectory, d.workingDirectory);
  EXPECT_EQ(c.webServerDirectory, d.webServerDirectory);
  EXPECT_EQ(c.mysqlServerDirectory, d.mysqlServerDirectory);
  EXPECT_EQ(c.startHidden, d.startHidden);
  EXPECT_EQ(c.singleInstance, d.singleInstance);
  EXPECT_EQ(c.noTerminate, d.noTerminate);
  EXPECT_EQ(c.checkIntervalMs, d.checkIntervalMs);
  EXPECT_EQ(c.substDrive, d.substDrive);
  EXPECT_EQ(c.mysqlServer, d.mysqlServer);
  EXPECT_EQ(c.openBrowser, d.openBrowser);
}

}  // namespace

TEST(Config, DefaultsMatchTheDocumentedValues) {
  LauncherConfig c;
  EXPECT_EQ(c.webServer, L"httpd.exe");
  EXPECT_EQ(c.workingDirectory, L".");
  EXPECT_TRUE(c.webServerDirectory.empty());
  EXPECT_TRUE(c.mysqlServerDirectory.empty());
  EXPECT_TRUE(c.startHidden);
  EXPECT_FALSE(c.singleInstance);
  EXPECT_FALSE(c.noTerminate);
  EXPECT_EQ(c.checkIntervalMs, 1000u);
  EXPECT_TRUE(c.substDrive.empty());
  EXPECT_TRUE(c.mysqlServer.empty());
  EXPECT_FALSE(c.openBrowser);
}

TEST(Config, MissingEmptyOrCommentOnlyFileGivesDefaultsAndLeavesTheWarningAlone) {
  e2e::TempFolder empty(L"noini");
  std::wstring warning = L"untouched";
  expectDefaults(LoadConfig(empty.path, &warning));
  EXPECT_EQ(warning, L"untouched");
  expectDefaults(LoadConfig(empty.path, nullptr));

  for (const char* bytes : {"", "\n\n", "# comment\r\n; other\r\n   \t\r\n", "\xEF\xBB\xBF"}) {
    warning = L"untouched";
    expectDefaults(load(bytes, &warning));
    EXPECT_EQ(warning, L"untouched") << bytes;
  }
}

TEST(Config, EveryKeyReachesItsField) {
  LauncherConfig c = load(
      "WebServer=web.exe -k\n"
      "WorkingDirectory=work\n"
      "WebServerDirectory=htdocs\n"
      "MysqlServerDirectory=db\n"
      "StartHidden=no\n"
      "SingleInstance=yes\n"
      "NoTerminate=on\n"
      "CheckIntervalMs=250\n"
      "SubstDrive=W:\n"
      "MysqlServer=mysqld.exe --console\n"
      "OpenBrowser=true\n");
  EXPECT_EQ(c.webServer, L"web.exe -k");
  EXPECT_EQ(c.workingDirectory, L"work");
  EXPECT_EQ(c.webServerDirectory, L"htdocs");
  EXPECT_EQ(c.mysqlServerDirectory, L"db");
  EXPECT_FALSE(c.startHidden);
  EXPECT_TRUE(c.singleInstance);
  EXPECT_TRUE(c.noTerminate);
  EXPECT_EQ(c.checkIntervalMs, 250u);
  EXPECT_EQ(c.substDrive, L"W:");
  EXPECT_EQ(c.mysqlServer, L"mysqld.exe --console");
  EXPECT_TRUE(c.openBrowser);
}

TEST(Config, ByteOrderMarkAndCrLfAreNotPartOfValues) {
  EXPECT_EQ(load("\xEF\xBB\xBFWebServer=first.exe\r\n").webServer, L"first.exe");
  LauncherConfig c = load("webserver=a.exe\r\nsubstdrive=X:\r\nmysqlserver=m.exe\r\n");
  EXPECT_EQ(c.webServer, L"a.exe");
  EXPECT_EQ(c.substDrive, L"X:");
  EXPECT_EQ(c.mysqlServer, L"m.exe");
  // A byte-order mark anywhere but at the start is data: this key is not "webserver".
  EXPECT_EQ(load("\n\xEF\xBB\xBFwebserver=x.exe\n").webServer, L"httpd.exe");
  // A CR alone does not end a line: the second setting belongs to the first line's value.
  EXPECT_EQ(load("mysqlserver=m.exe\rwebserver=x.exe").webServer, L"httpd.exe");
  EXPECT_EQ(load("webserver=last-line-without-end.exe").webServer, L"last-line-without-end.exe");
}

TEST(Config, SectionsSelectWhatIsRead) {
  struct Case {
    const char* bytes;
    const wchar_t* webServer;
  } cases[] = {
      {"webserver=before.exe\n[wendlor]\n", L"before.exe"},
      {"[other]\nwebserver=other.exe\n", L"httpd.exe"},
      {"[WENDLOR]\nwebserver=caps.exe\n", L"caps.exe"},
      {"[  Wendlor \t]\nwebserver=blanks.exe\n", L"blanks.exe"},
      {"[other]\n[ ]\nwebserver=blank-header.exe\n", L"blank-header.exe"},
      {"[other]\n[wendlor] ; remark\nwebserver=x.exe\n", L"httpd.exe"},
      {"[wendlor]\n[other] # remark\nwebserver=still.exe\n", L"still.exe"},
      {"[wendlor]\nwebserver=one.exe\n[other]\nwebserver=two.exe\n", L"one.exe"},
      {"[]\nwebserver=short-brackets.exe\n", L"short-brackets.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(load(c.bytes).webServer, c.webServer) << c.bytes;
}

TEST(Config, CommentsKeysAndValues) {
  LauncherConfig c = load(
      "   # webserver=commented.exe\n"
      "\t; webserver=commented2.exe\n"
      "StartHidden=false # remark\n"
      "webserver = \"C:\\Program Files\\web\\httpd.exe\" -f a=b \n"
      "=orphan\n"
      "mysql server=spaced-key.exe\n"
      "no equals sign here\n");
  EXPECT_EQ(c.webServer, L"\"C:\\Program Files\\web\\httpd.exe\" -f a=b");
  EXPECT_TRUE(c.startHidden);
  EXPECT_TRUE(c.mysqlServer.empty());
}

TEST(Config, BooleanWords) {
  for (const char* word : {"1", "true", "yes", "on", "TRUE", " On ", "YeS"}) {
    EXPECT_TRUE(load(std::string("openbrowser=") + word + "\n").openBrowser) << word;
  }
  // An unrecognised word leaves the earlier value in force.
  EXPECT_FALSE(load("starthidden=off\nstarthidden=x\n").startHidden);
  for (const char* word : {"0", "false", "no", "off", "OFF", "False"}) {
    EXPECT_FALSE(load(std::string("STARTHIDDEN=") + word + "\n").startHidden) << word;
  }
  for (const char* word : {"2", "", "y", "enabled", "on #"}) {
    EXPECT_TRUE(load(std::string("starthidden=") + word + "\n").startHidden) << word;
    EXPECT_TRUE(load(std::string("noterminate=yes\nnoterminate=") + word + "\n").noTerminate) << word;
  }
}

TEST(Config, CheckIntervalRules) {
  struct Case {
    const char* value;
    DWORD expected;
  } cases[] = {
      {"99", 1000},
      {"100", 100},
      {"  250  ", 250},
      {"+250", 250},
      {"1000ms", 1000},
      {"0x100", 1000},
      {"", 1000},
      {"12 34", 1000},
      {"+", 1000},
      {"-", 1000},
      {"99999999999", 4294967295u},
      {"4294967295", 4294967295u},
      {"-1", 4294967295u},
      {"-4294967200", 1000},
      {"007", 1000},
      {"0100", 100},
  };
  for (const Case& c : cases)
    EXPECT_EQ(load(std::string("checkintervalms=") + c.value).checkIntervalMs, c.expected) << c.value;
  EXPECT_EQ(load("checkintervalms=500\ncheckintervalms=50\n").checkIntervalMs, 500u);
  EXPECT_EQ(load("checkintervalms=500\ncheckintervalms=700\n").checkIntervalMs, 700u);
}

TEST(Config, EmptyWebServerResetsEverythingAndWarns) {
  std::wstring warning;
  LauncherConfig c = load("mysqlserver=m.exe\nopenbrowser=1\ncheckintervalms=300\nwebserver=\n", &warning);
  expectDefaults(c);
  EXPECT_EQ(warning, L"В wendlor.ini ключ WebServer пустой.");
  // A later non-empty value repairs it; the last occurrence of a string key wins.
  warning.clear();
  EXPECT_EQ(load("webserver=\nwebserver=later.exe\n", &warning).webServer, L"later.exe");
  EXPECT_TRUE(warning.empty());
  // A blank value is empty after trimming.
  warning.clear();
  expectDefaults(load("webserver=  \t \r\n", &warning));
  EXPECT_FALSE(warning.empty());
  // Without a place for the warning, the reset still happens.
  expectDefaults(load("noterminate=1\nwebserver=\n", nullptr));
}

TEST(Config, Utf8ValuesAndOtherEncodings) {
  // "папка" in UTF-8 arrives as the same letters.
  EXPECT_EQ(load("workingdirectory=C:\\\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0\n").workingDirectory, L"C:\\папка");
  // The same word in a one-byte Cyrillic code page is not UTF-8: nothing but replacement characters.
  std::wstring replaced = load("workingdirectory=\xEF\xE0\xEF\xEA\xE0\n").workingDirectory;
  EXPECT_FALSE(replaced.empty());
  EXPECT_LE(replaced.size(), 5u);
  EXPECT_EQ(replaced.find_first_not_of(L'\xFFFD'), std::wstring::npos) << e2e::toUtf8(replaced);
  // Letters in keys are ASCII only: a Cyrillic byte is not lower-cased into a match.
  EXPECT_EQ(load("webserver\xD0\x90=x.exe\n").webServer, L"httpd.exe");
}

TEST(Config, ProgramFolderWithOrWithoutTrailingBackslash) {
  e2e::TempFolder folder(L"slash");
  ASSERT_TRUE(e2e::writeFile(folder.file(L"wendlor.ini"), "webserver=found.exe\n"));
  EXPECT_EQ(LoadConfig(folder.path, nullptr).webServer, L"found.exe");
  EXPECT_EQ(LoadConfig(folder.path + L"\\", nullptr).webServer, L"found.exe");
}

TEST(Config, FileOpenForWritingByAnotherProgramIsStillRead) {
  e2e::TempFolder folder(L"shared");
  std::wstring path = folder.file(L"wendlor.ini");
  ASSERT_TRUE(e2e::writeFile(path, "webserver=shared.exe\n"));
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LoadConfig(folder.path, nullptr).webServer, L"shared.exe");
  CloseHandle(writer);
}

TEST(Config, LockedOrUnreadableFileGivesDefaults) {
  e2e::TempFolder folder(L"locked");
  std::wstring path = folder.file(L"wendlor.ini");
  ASSERT_TRUE(e2e::writeFile(path, "webserver=locked.exe\n"));
  HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  std::wstring warning;
  expectDefaults(LoadConfig(folder.path, &warning));
  EXPECT_TRUE(warning.empty());
  CloseHandle(exclusive);
  // A folder named wendlor.ini cannot be read as a file either.
  e2e::TempFolder other(L"dirini");
  ASSERT_TRUE(CreateDirectoryW(other.file(L"wendlor.ini").c_str(), nullptr));
  expectDefaults(LoadConfig(other.path, nullptr));
}

TEST(Config, HugeFileIsReadWithoutTrouble) {
  std::string bytes = "webserver=big.exe\n";
  std::string filler(4096, 'x');
  while (bytes.size() < 8 * 1024 * 1024) bytes += "junk" + filler + "\n";
  bytes += "mysqlserver=after-the-junk.exe\n";
  LauncherConfig c = load(bytes);
  EXPECT_EQ(c.webServer, L"big.exe");
  EXPECT_EQ(c.mysqlServer, L"after-the-junk.exe");
}

// Thousands of generated files, valid and invalid lines mixed: loading never fails and always
// leaves a usable web server command and interval.
TEST(Config, RandomFilesAlwaysGiveAUsableRecord) {
  std::mt19937 random(20261207);
  const char* pieces[] = {"webserver",
                          "WebServer",
                          "checkintervalms",
                          "starthidden",
                          "mysqlserver",
                          "substdrive",
                          "[wendlor]",
                          "[other]",
                          "[ ]",
                          "=",
                          "  ",
                          "\t",
                          "#",
                          ";",
                          "\r",
                          "\n",
                          "\r\n",
                          "0",
                          "1",
                          "99",
                          "100",
                          "-5",
                          "99999999999",
                          "yes",
                          "off",
                          "\xEF\xBB\xBF",
                          "\xD0\xBF",
                          "\xFF\xFE",
                          "\xC0\x80",
                          "\"",
                          "[",
                          "]"};
  const size_t pieceCount = sizeof pieces / sizeof pieces[0];
  e2e::TempFolder folder(L"fuzz");
  std::wstring path = folder.file(L"wendlor.ini");
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    int parts = static_cast<int>(random() % 60);
    for (int i = 0; i < parts; ++i) {
      switch (random() % 4) {
        case 0:
          bytes += pieces[random() % pieceCount];
          break;
        case 1:
          bytes.push_back(static_cast<char>(random() % 256));
          break;
        case 2:
          bytes += std::string(random() % 3000, static_cast<char>('a' + random() % 26));
          break;
        default:
          bytes += std::string(pieces[random() % pieceCount]) + "=" + pieces[random() % pieceCount] + "\n";
      }
    }
    if (round % 7 == 0) bytes += std::string(1, '\0') + "webserver=\n";
    ASSERT_TRUE(e2e::writeFile(path, bytes));
    std::wstring warning;
    LauncherConfig c = LoadConfig(folder.path, &warning);
    ASSERT_FALSE(c.webServer.empty()) << "round " << round;
    ASSERT_GE(c.checkIntervalMs, kMinCheckIntervalMs) << "round " << round;
    LauncherConfig direct = ParseConfig(bytes, nullptr);
    ASSERT_EQ(direct.webServer, c.webServer) << "round " << round;
  }
}
