#include "config/paths.h"

#include <gtest/gtest.h>

#include "config/launcher_config.h"
#include "tests/support/e2e_support.h"
#include "win/system_error.h"

TEST(Paths, ProgramFolderOfAPath) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
  } cases[] = {
      {L"C:\\Apps\\Srv\\launcher.exe", L"C:\\Apps\\Srv"},
      {L"D:\\launcher.exe", L"D:"},
      {L"/opt/apps/srv/launcher.exe", L"/opt/apps/srv"},
      {L"C:\\mixed/slashes\\x/launcher.exe", L"C:\\mixed/slashes\\x"},
      {L"launcher.exe", L"."},
      {L"", L"."},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgramFolderOf(c.path), c.folder) << c.path;
}

TEST(Paths, ProgramPathIsThisExecutable) {
  std::wstring path = GetProgramPath();
  ASSERT_GE(path.size(), 4u);
  EXPECT_EQ(_wcsicmp(path.substr(path.size() - 4).c_str(), L".exe"), 0);
  EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetProgramFolder() + path.substr(GetProgramFolder().size()), path);
}

TEST(Paths, TrimWideRemovesOnlyTheFourBlanks) {
  EXPECT_EQ(TrimWide(L" \t\r\nabc d\r\n\t "), L"abc d");
  EXPECT_EQ(TrimWide(L"\x00A0x\x3000"), L"\x00A0x\x3000");
  EXPECT_EQ(TrimWide(L" \t "), L"");
  EXPECT_EQ(TrimWide(L""), L"");
}

TEST(Paths, ResolvePathAgainstABase) {
  const std::wstring base = L"C:\\Apps\\Srv";
  struct Case {
    const wchar_t* path;
    const wchar_t* resolved;
  } cases[] = {
      {L"www", L"C:\\Apps\\Srv\\www"},
      {L"  www \t", L"C:\\Apps\\Srv\\www"},
      {L"D:\\data", L"D:\\data"},
      {L"D:data", L"D:data"},
      {L"\\\\server\\share", L"\\\\server\\share"},
      {L"\\root\\x", L"\\root\\x"},
      {L"/root/x", L"/root/x"},
      {L"", L""},
      {L"   ", L""},
      {L"..\\x", L"C:\\Apps\\Srv\\..\\x"},
      {L".\\", L"C:\\Apps\\Srv\\.\\"},
      {L"1:x", L"C:\\Apps\\Srv\\1:x"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolvePath(base, c.path), c.resolved) << c.path;
  EXPECT_EQ(ResolvePath(L"C:\\Apps\\", L"www"), L"C:\\Apps\\www");
  EXPECT_EQ(ResolvePath(L"C:/Apps/", L"www"), L"C:/Apps/www");
  EXPECT_EQ(ResolvePath(L"", L" www "), L"www");
}

TEST(Paths, FolderSettingsAndTheEffectiveWorkingDirectory) {
  const std::wstring program = L"C:\\Apps\\Srv";
  EXPECT_EQ(ResolveFolderSetting(L"", program, L"FALLBACK"), L"FALLBACK");
  EXPECT_EQ(ResolveFolderSetting(L" . ", program, L"FALLBACK"), L"FALLBACK");
  EXPECT_EQ(ResolveFolderSetting(L".\\", program, L"FALLBACK"), L"C:\\Apps\\Srv\\.\\");
  EXPECT_EQ(ResolveFolderSetting(L"htdocs", program, L"C:\\Elsewhere"), L"C:\\Apps\\Srv\\htdocs");

  LauncherConfig config;
  for (const wchar_t* setting : {L"", L".", L"  .  "}) {
    config.workingDirectory = setting;
    EXPECT_EQ(effectiveWorkingDirectory(config, program), program) << setting;
  }
  config.workingDirectory = L"work";
  EXPECT_EQ(effectiveWorkingDirectory(config, program), L"C:\\Apps\\Srv\\work");
  config.workingDirectory = L" E:\\abs ";
  EXPECT_EQ(effectiveWorkingDirectory(config, program), L"E:\\abs");
}

TEST(Paths, CurrentFolderLongerThanMaxPathIsReadWhole) {
  e2e::TempFolder folder(L"long");
  std::wstring deep = folder.path;
  while (deep.size() < 400) {
    deep += L"\\каталог-с-длинным-именем-0123456789";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  }
  std::wstring before = GetCurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryW(deep.c_str()));
  std::wstring read = GetCurrentFolder();
  SetCurrentDirectoryW(before.c_str());
  EXPECT_EQ(read, deep);
}

TEST(SystemError, Texts) {
  EXPECT_EQ(formatSystemError(0), L"");
  std::wstring notFound = formatSystemError(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(notFound.empty());
  EXPECT_EQ(notFound, TrimWide(notFound));
  EXPECT_EQ(notFound.find(L"Win32 error"), std::wstring::npos);
  // No message for these codes: the fallback, in unsigned decimal.
  EXPECT_EQ(formatSystemError(0xE0001234u), L"Win32 error: 3758101044");
  EXPECT_EQ(formatSystemError(0xFFFFFFFFu), L"Win32 error: 4294967295");
}
