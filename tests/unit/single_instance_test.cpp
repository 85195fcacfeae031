#include "app/single_instance.h"

#include <gtest/gtest.h>

TEST(SingleInstanceHash, KnownVectors) {
  EXPECT_EQ(0xe71fa2190541574bULL, HashProgramPath(L"abc"));
  EXPECT_EQ(0xaf67c94c86089843ULL, HashProgramPath(L"\u0414"));
  EXPECT_EQ(0xcbf29ce484222325ULL, HashProgramPath(L""));
}

TEST(SingleInstanceHash, WholeUtf16UnitsEnterTheHash) {
  // Letters beyond U+00FF must not be cut to their low byte, and a surrogate pair is two units.
  EXPECT_EQ(0xa988df40e6b58918ULL, HashProgramPath(L"C:\\Программы\\wendlor.exe"));
  EXPECT_EQ(0xe5e45a0a241b88d8ULL, HashProgramPath(L"\U0001F600"));
}

TEST(SingleInstanceName, PrefixAndSixteenLowercaseDigits) {
  EXPECT_EQ(L"Local\\WENDLOR_e71fa2190541574b", InstanceMutexName(L"abc"));
  EXPECT_EQ(L"Local\\WENDLOR_cbf29ce484222325", InstanceMutexName(L""));
  // Leading zeros are kept.
  EXPECT_EQ(L"Local\\WENDLOR_0039231913392937", InstanceMutexName(L"baa"));
}

TEST(SingleInstanceName, LetterCaseAndFolderMakeDifferentNames) {
  EXPECT_EQ(L"Local\\WENDLOR_821b7d02ae788a8c", InstanceMutexName(L"Z:\\tmp\\w\\wendlor.exe"));
  EXPECT_EQ(L"Local\\WENDLOR_5f196cce8e2d680c", InstanceMutexName(L"Z:\\tmp\\w\\WENDLOR.EXE"));
  EXPECT_NE(InstanceMutexName(L"Z:\\a\\wendlor.exe"), InstanceMutexName(L"Z:\\b\\wendlor.exe"));
}

TEST(SingleInstanceGuard, AGuardThatExistsMeansAnotherLauncher) {
  const struct {
    bool gotHandle;
    DWORD error;
    bool otherRuns;
  } cases[] = {{true, ERROR_SUCCESS, false},
               {true, ERROR_ALREADY_EXISTS, true},
               {false, ERROR_ACCESS_DENIED, true},     // an elevated Launcher's guard
               {false, ERROR_INVALID_HANDLE, false}};  // the name of another kind of object
  for (const auto& c : cases) EXPECT_EQ(c.otherRuns, OtherInstanceRuns(c.gotHandle, c.error)) << c.error;
}
