#include "process/pe_imports.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "win/file_bytes.h"
#include "win/handles.h"

namespace {

// Bounds for the walk through a file that may be malformed on purpose.
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kMaxResourceEntries = 64;
constexpr size_t kMaxDllNameBytes = 260;
constexpr uint32_t kManifestType = 24;  // RT_MANIFEST

// Reads the file's bytes only where they lie wholly inside it.
struct Image {
  const std::string& bytes;
  uint32_t headersSize = 0;
  size_t sectionTable = 0;
  uint32_t sections = 0;

  bool has(size_t offset, size_t size) const { return offset <= bytes.size() && size <= bytes.size() - offset; }
  bool u16(size_t offset, uint32_t* value) const {
    if (!has(offset, 2)) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    *value = p[0] | (p[1] << 8);
    return true;
  }
  bool u32(size_t offset, uint32_t* value) const {
    if (!has(offset, 4)) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    *value = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return true;
  }
  // The file offset of an address of the loaded image; false where no part of the file maps there.
  bool offsetOf(uint32_t rva, size_t* offset) const {
    if (rva < headersSize) {
      *offset = rva;
      return has(rva, 1);
    }
    for (uint32_t i = 0; i < sections; ++i) {
      size_t header = sectionTable + i * 40;
      uint32_t virtualSize = 0, address = 0, rawSize = 0, rawOffset = 0;
      if (!u32(header + 8, &virtualSize) || !u32(header + 12, &address) || !u32(header + 16, &rawSize) ||
          !u32(header + 20, &rawOffset)) {
        return false;
      }
      uint32_t span = virtualSize > rawSize ? virtualSize : rawSize;
      if (rva < address || rva - address >= span) continue;
      if (rva - address >= rawSize) return false;  // zero-filled at load, nothing in the file
      *offset = static_cast<size_t>(rawOffset) + (rva - address);
      return has(*offset, 1);
    }
    return false;
  }
};

bool dllName(const Image& image, uint32_t rva, std::wstring* name) {
  size_t offset = 0;
  if (!image.offsetOf(rva, &offset)) return false;
  size_t left = image.bytes.size() - offset;
  const char* text = image.bytes.data() + offset;
  const void* end = memchr(text, 0, left < kMaxDllNameBytes ? left : kMaxDllNameBytes);
  if (!end || end == text) return false;
  int size = static_cast<int>(static_cast<const char*>(end) - text);
  int n = MultiByteToWideChar(CP_ACP, 0, text, size, nullptr, 0);
  if (n <= 0) return false;
  name->assign(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, size, &(*name)[0], n);
  return true;
}

bool readImports(const Image& image, uint32_t rva, std::vector<std::wstring>* dlls) {
  if (rva == 0) return true;  // nothing imported
  size_t offset = 0;
  if (!image.offsetOf(rva, &offset)) return false;
  for (size_t i = 0; i < kMaxPeImports; ++i) {
    size_t entry = offset + i * 20;
    uint32_t lookup = 0, nameRva = 0, thunks = 0;
    if (!image.u32(entry, &lookup) || !image.u32(entry + 12, &nameRva) || !image.u32(entry + 16, &thunks)) return false;
    if (nameRva == 0 && thunks == 0) return true;  // the table's end
    std::wstring name;
    if (!dllName(image, nameRva, &name)) return false;
    dlls->push_back(name);
  }
  return true;
}

// One level of the resource tree: the offset (from the tree's root) of each entry's target.
bool resourceEntries(const Image& image, size_t root, size_t directory, bool onlyManifests,
                     std::vector<uint32_t>* targets) {
  uint32_t named = 0, ids = 0;
  if (!image.u16(root + directory + 12, &named) || !image.u16(root + directory + 14, &ids)) return false;
  uint32_t count = named + ids;
  if (count > kMaxResourceEntries) count = kMaxResourceEntries;
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = root + directory + 16 + i * 8;
    uint32_t id = 0, target = 0;
    if (!image.u32(entry, &id) || !image.u32(entry + 4, &target)) return false;
    if (!onlyManifests || id == kManifestType) targets->push_back(target);
  }
  return true;
}

// Whether a manifest resource (type, then name, then language) names a dependentAssembly.
bool manifestNamesAssembly(const Image& image, uint32_t rva) {
  size_t root = 0;
  if (rva == 0 || !image.offsetOf(rva, &root)) return false;
  const uint32_t subdirectory = 0x80000000u;
  std::vector<uint32_t> types, names, languages;
  if (!resourceEntries(image, root, 0, true, &types)) return false;
  for (uint32_t type : types) {
    if (type & subdirectory) resourceEntries(image, root, type & ~subdirectory, false, &names);
  }
  for (uint32_t name : names) {
    if (name & subdirectory) resourceEntries(image, root, name & ~subdirectory, false, &languages);
  }
  static const char kNeedle[] = "dependentAssembly";
  for (uint32_t leaf : languages) {
    uint32_t dataRva = 0, size = 0;
    size_t data = 0;
    if ((leaf & subdirectory) || !image.u32(root + leaf, &dataRva) || !image.u32(root + leaf + 4, &size)) continue;
    if (!image.offsetOf(dataRva, &data) || !image.has(data, size)) continue;
    const char* begin = image.bytes.data() + data;
    if (std::search(begin, begin + size, kNeedle, kNeedle + sizeof kNeedle - 1) != begin + size) return true;
  }
  return false;
}

}  // namespace

bool parsePeImports(const std::string& bytes, PeImports* imports) {
  Image image{bytes};
  uint32_t peOffset = 0, signature = 0, sections = 0, optionalSize = 0, magic = 0;
  if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z' || !image.u32(0x3C, &peOffset)) return false;
  if (!image.u32(peOffset, &signature) || signature != 0x00004550) return false;  // "PE\0\0"
  size_t fileHeader = static_cast<size_t>(peOffset) + 4;
  size_t optional = fileHeader + 20;
  if (!image.u16(fileHeader + 2, &sections) || !image.u16(fileHeader + 16, &optionalSize) ||
      !image.u16(optional, &magic)) {
    return false;
  }
  bool is64 = magic == 0x20B;
  if (!is64 && magic != 0x10B) return false;
  size_t directoryCountAt = optional + (is64 ? 108 : 92);
  uint32_t directoryCount = 0, importRva = 0, resourceRva = 0;
  if (!image.u32(optional + 60, &image.headersSize) || !image.u32(directoryCountAt, &directoryCount)) return false;
  if (directoryCountAt + 4 + directoryCount * 8ull > optional + optionalSize) return false;
  if (directoryCount > 1 && !image.u32(directoryCountAt + 4 + 8, &importRva)) return false;
  if (directoryCount > 2 && !image.u32(directoryCountAt + 4 + 16, &resourceRva)) return false;
  if (sections > kMaxSections) return false;
  image.sectionTable = optional + optionalSize;
  image.sections = sections;
  if (!image.has(image.sectionTable, sections * 40)) return false;

  PeImports found;
  found.is64 = is64;
  if (!readImports(image, importRva, &found.dlls)) return false;
  found.dependentAssembly = manifestNamesAssembly(image, resourceRva);
  *imports = found;
  return true;
}

bool readPeImports(const std::wstring& path, PeImports* imports) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // A name such as CON or a pipe's opens too; only a file on a disk is read.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    closeHandle(file);
    return false;
  }
  std::string bytes = readFileBytes(file, 0, kPeReadLimit);
  closeHandle(file);
  return parsePeImports(bytes, imports);
}
