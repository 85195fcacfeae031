#include <gtest/gtest.h>

#include <string>

#include "tests/support/e2e_support.h"

namespace {

std::wstring versionString(const std::vector<BYTE>& block, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  std::wstring key = std::wstring(L"\\StringFileInfo\\041904B0\\") + name;
  if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return L"";
  return std::wstring(value, length ? length - 1 : 0);
}

}  // namespace

// The resources are looked at in the built wendlor.exe itself.
TEST(Resources, IconManifestAndVersionBlock) {
  std::wstring exe = e2e::binPath(L"wendlor.exe");
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);

  HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(101), IMAGE_ICON, 64, 64, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour{};
  ASSERT_TRUE(GetObjectW(info.hbmColor, sizeof colour, &colour));
  EXPECT_EQ(colour.bmWidth, 64);
  EXPECT_EQ(colour.bmHeight, 64);
  EXPECT_EQ(colour.bmBitsPixel, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  // An image for each size Windows asks for (scripts/check-exe.sh names them).
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  const WORD* directory = static_cast<const WORD*>(LockResource(LoadResource(module, group)));
  EXPECT_EQ(directory[2], 8);

  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  std::string xml(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                  SizeofResource(module, manifest));
  EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_EQ(xml.find("requireAdministrator"), std::string::npos);
  FreeLibrary(module);

  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedLength = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00030002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00030002u);
  EXPECT_EQ(versionString(block, L"FileDescription"), L"Запуск программы ZEM Wendlor");
  EXPECT_EQ(versionString(block, L"InternalName"), L"wendlor");
  EXPECT_EQ(versionString(block, L"OriginalFilename"), L"wendlor.exe");
  EXPECT_EQ(versionString(block, L"FileVersion"), L"3.2.0.0");
  EXPECT_EQ(versionString(block, L"ProductVersion"), L"3.2.0.0");
  EXPECT_EQ(versionString(block, L"ProductName"), L"ZEM Wendlor");
}
