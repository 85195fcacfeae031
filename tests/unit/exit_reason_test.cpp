#include "orchestration/exit_reason.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "process/missing_dlls.h"
#include "process/pe_imports.h"
#include "tests/support/e2e_support.h"

namespace {

TEST(ExitReason, CodeLine) {
  const struct {
    DWORD code;
    std::wstring systemText, expected;
  } cases[] = {
      {0xC0000005, L"ignored", L"Причина: 0xC0000005 — программа аварийно завершилась: нарушение доступа к памяти."},
      {0x80000003, L"", L"Причина: 0x80000003 — программа аварийно завершилась: точка останова (abort)."},
      // The system's text: no caption, its first line, no second full stop.
      {0xC0000000, L"{Caption}\r\nThe first line.\r\nThe second.", L"Причина: 0xC0000000 — The first line."},
      {0xFFFFFFFF, L"Plain", L"Причина: 0xFFFFFFFF — Plain."},
      {0xC0000001, L"{Caption only}\r\n", L""},
      {0xBFFFFFFF, L"A program's own code", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(exitReasonLine(c.code, c.systemText), c.expected) << std::hex << c.code;
}

void put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A PE image of one section at 0x1000 (file offset 0x200): the import table, the DLL names and,
// when a manifest is given, a resource tree holding it as RT_MANIFEST 1 in language 0x409.
std::string peImage(bool is64, const std::vector<std::string>& dlls, const std::string& manifest = "") {
  const uint32_t optionalSize = is64 ? 240 : 224, directories = 0x58 + (is64 ? 108 : 92), table = 0x58 + optionalSize;
  std::string bytes(0x200, '\0'), section((dlls.size() + 1) * 20, '\0');
  for (size_t i = 0; i < dlls.size(); ++i) {
    put32(section, i * 20 + 12, static_cast<uint32_t>(0x1000 + section.size()));
    put32(section, i * 20 + 16, 0x1000);
    section += dlls[i] + '\0';
  }
  uint32_t resources = 0;
  if (!manifest.empty()) {
    resources = static_cast<uint32_t>(0x1000 + section.size());
    std::string tree(88, '\0');  // three levels of one entry each, then the data entry
    const uint32_t ids[] = {24, 1, 0x409};
    for (uint32_t level = 0; level < 3; ++level) {
      tree[level * 24 + 14] = 1;
      put32(tree, level * 24 + 16, ids[level]);
      put32(tree, level * 24 + 20, (level < 2 ? 0x80000000u : 0) | (level + 1) * 24);
    }
    put32(tree, 72, resources + 88);
    put32(tree, 76, static_cast<uint32_t>(manifest.size()));
    section += tree + manifest;
  }
  const uint32_t size = static_cast<uint32_t>(section.size());
  // Offset and value: DOS header, PE header, optional header, import and resource directories, section.
  // clang-format off
  const uint32_t fields[] = {0, 0x5A4D, 0x3C, 0x40, 0x40, 0x4550, 0x46, 1, 0x54, optionalSize,
      0x58, is64 ? 0x20Bu : 0x10Bu, 0x58 + 60, 0x200, directories, 16, directories + 12, 0x1000,
      directories + 20, resources, table + 8, size, table + 12, 0x1000, table + 16, size, table + 20, 0x200};
  // clang-format on
  for (size_t i = 0; i < sizeof fields / sizeof fields[0]; i += 2) put32(bytes, fields[i], fields[i + 1]);
  return bytes + section;
}

const char kSideBySide[] =
    "<assembly><dependency><dependentAssembly><assemblyIdentity name=\"Microsoft.VC90.CRT\"/>"
    "</dependentAssembly></dependency></assembly>";

TEST(PeImports, ReadsBothBitnessesAndTheManifestRule) {
  PeImports imports;
  ASSERT_TRUE(parsePeImports(peImage(false, {"KERNEL32.dll", "libapr-1.dll"}), &imports));
  EXPECT_FALSE(imports.is64);
  EXPECT_EQ(imports.dlls, (std::vector<std::wstring>{L"KERNEL32.dll", L"libapr-1.dll"}));
  EXPECT_FALSE(imports.dependentAssembly);
  ASSERT_TRUE(parsePeImports(peImage(true, {"MSVCR90.dll"}, kSideBySide), &imports));
  EXPECT_TRUE(imports.is64);
  EXPECT_EQ(imports.dlls, std::vector<std::wstring>{L"MSVCR90.dll"});
  EXPECT_TRUE(imports.dependentAssembly);
  ASSERT_TRUE(parsePeImports(peImage(true, {"a.dll"}, "<assembly><trustInfo/></assembly>"), &imports));
  EXPECT_FALSE(imports.dependentAssembly);
  // The test program itself, as the linker wrote it.
  wchar_t self[MAX_PATH];
  ASSERT_TRUE(readPeImports(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)), &imports));
  EXPECT_EQ(imports.is64, sizeof(void*) == 8);
  EXPECT_FALSE(imports.dlls.empty());
}

TEST(PeImports, MalformedImagesAreRefused) {
  const std::string good = peImage(false, {"a.dll"});
  const struct {
    const char* what;
    size_t at;
    uint32_t value;
  } cases[] = {
      {"PE header past the end", 0x3C, 0x7FFFFFF0},
      {"not PE", 0x40, 0x4551},
      {"unknown optional header", 0x58, 0x0107},
      {"import table outside every section", 0x58 + 96 + 8, 0x9000},
      {"DLL name outside the file", 0x200 + 12, 0x1FFF0},
      {"section data past the end", 0x58 + 224 + 20, 0xFFFFFF00},
      {"too many sections", 0x46, 0xFFFF},
  };
  PeImports imports;
  for (const auto& c : cases) {
    std::string bad = good;
    put32(bad, c.at, c.value);
    EXPECT_FALSE(parsePeImports(bad, &imports)) << c.what;
  }
  EXPECT_FALSE(parsePeImports(good.substr(0, good.size() - 3), &imports)) << "name cut off";
  EXPECT_FALSE(parsePeImports(good.substr(0, 0x150), &imports)) << "cut in the headers";
}

TEST(MissingDlls, PathFolders) {
  EXPECT_EQ(pathFolders(L"C:\\a;;\"C:\\b;\";rel; ;C:\\Windows\\System32\\", L"C:\\Windows\\system32",
                        L"C:\\Windows\\Sysnative", L"D:\\srv"),
            (std::vector<std::wstring>{L"C:\\a", L"C:\\b", L"D:\\srv\\rel", L"C:\\Windows\\Sysnative"}));
  std::wstring huge;
  for (int i = 0; i < 5000; ++i) huge += L"C:\\p" + std::to_wstring(i) + L";";
  EXPECT_EQ(pathFolders(huge, L"", L"", L"C:\\").size(), kMaxPathFolders);
}

// A program folder, system and Windows folders, the server's folder and a PATH folder of files
// the test writes; the search finds what is missing in them as the loader would.
TEST(MissingDlls, FoundAsTheLoaderSearches) {
  e2e::TempFolder root(L"dlls");
  const wchar_t* folders[] = {L"prog", L"sys", L"win", L"cwd", L"path"};
  for (const wchar_t* folder : folders) CreateDirectoryW(root.file(folder).c_str(), nullptr);
  auto put = [&](const wchar_t* name, const std::string& bytes) {
    ASSERT_TRUE(e2e::writeFile(root.file(name), bytes));
  };
  put(L"prog\\a.dll", peImage(false, {"c.dll", "b.dll", "KERNEL32.dll"}));
  put(L"sys\\kernel32.dll", peImage(false, {"in-system-business.dll"}));
  put(L"win\\w.dll", peImage(false, {"in-windows-business.dll"}));
  put(L"cwd\\sxs.dll", peImage(false, {"msvcr90.dll"}, kSideBySide));
  put(L"path\\p.dll", peImage(false, {"from-path.dll"}));
  put(L"prog\\junk.dll", "MZ not an image");
  PeImports program;
  ASSERT_TRUE(parsePeImports(
      peImage(false, {"a.dll", "b.dll", "api-ms-win-crt-heap-l1-1-0.dll", "w.dll", "sxs.dll",
                      "API-MS-WIN-core-file-l1-1-0.dll", "ext-ms-win-x.dll", "p.dll", "junk.dll", "x1.dll", "x2.dll"}),
      &program));
  DllSearchPlaces places{root.file(L"prog"), root.file(L"sys"),    root.file(L"win"),
                         root.file(L"cwd"),  {root.file(L"path")}, false};
  std::vector<MissingDll> missing = findMissingDlls(root.file(L"prog\\server.exe"), program, places);
  std::vector<std::wstring> found;
  for (const MissingDll& each : missing) found.push_back(each.dll + L" < " + each.importer);
  EXPECT_EQ(found, (std::vector<std::wstring>{L"c.dll < a.dll", L"b.dll < a.dll",
                                              L"api-ms-win-crt-heap-l1-1-0.dll < server.exe", L"from-path.dll < p.dll",
                                              L"x1.dll < server.exe"}));
  places.windows10 = true;
  EXPECT_EQ(findMissingDlls(root.file(L"prog\\server.exe"), program, places)[2].dll, L"from-path.dll");
}

}  // namespace
