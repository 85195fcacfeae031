#include "process/virtual_drive.h"

#include <gtest/gtest.h>

TEST(VirtualDriveSetting, AcceptsOneLetterAndColonAfterTrimming) {
  struct Case {
    const wchar_t* setting;
    const wchar_t* drive;
  };
  const Case cases[] = {{L"W:", L"W:"}, {L"w:", L"w:"}, {L"  W:\t", L"W:"}, {L"A:", L"A:"}, {L"z:", L"z:"}};
  for (const Case& c : cases) {
    std::wstring drive;
    EXPECT_TRUE(ParseSubstDrive(c.setting, &drive)) << c.setting;
    EXPECT_EQ(c.drive, drive);
  }
}

TEST(VirtualDriveSetting, RejectsEverythingElse) {
  const wchar_t* bad[] = {L"",     L"W",          L"W :",     L"WX:",  L"WXY", L"1:",      L"W:\\",
                          L"W:/",  L"W: & del x", L"W:&calc", L"W:|x", L":W",  L"\u0416:", L"W:\"",
                          L"%W%:", L"W:W:",       L"\u00c4:", L"@:",   L"[:"};
  for (const wchar_t* setting : bad) {
    std::wstring drive = L"unchanged";
    EXPECT_FALSE(ParseSubstDrive(setting, &drive)) << setting;
    EXPECT_EQ(L"unchanged", drive);
  }
}

TEST(VirtualDriveCommand, SubstItselfWithTheFolderAsOneQuotedArgument) {
  const std::wstring subst = L"C:\\Windows\\system32\\subst.exe";
  EXPECT_EQ(L"\"C:\\Windows\\system32\\subst.exe\" W: \"C:\\Program Files\\Wendlor\"",
            SubstCommandLine(subst, L"W:", L"C:\\Program Files\\Wendlor"));
  EXPECT_EQ(L"\"C:\\Windows\\system32\\subst.exe\" w: \"Z:\\tmp\\%PATH%\\папка\"",
            SubstCommandLine(subst, L"w:", L"Z:\\tmp\\%PATH%\\папка"));
  // "C:\" quoted as-is would escape the closing quote for the usual argument parser.
  EXPECT_EQ(L"\"C:\\Windows\\system32\\subst.exe\" W: \"C:\\\\\"", SubstCommandLine(subst, L"W:", L"C:\\"));
}
