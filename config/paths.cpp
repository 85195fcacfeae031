#include "config/paths.h"

#include <windows.h>

#include <cwctype>

namespace {

bool isSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring GetProgramPath() {
  // Grow the buffer until the whole path fits: a truncated path would name the wrong folder.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD copied = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (copied == 0) return std::wstring();
    if (copied < buffer.size()) {
      buffer.resize(copied);
      return buffer;
    }
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring ProgramFolderOf(const std::wstring& programPath) {
  size_t last = programPath.find_last_of(L"\\/");
  if (last == std::wstring::npos) return L".";
  return programPath.substr(0, last);
}

std::wstring GetProgramFolder() {
  return ProgramFolderOf(GetProgramPath());
}

std::wstring GetCurrentFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), &buffer[0]);
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    // Too small: length is the size needed, terminating zero included.
    buffer.resize(length);
  }
}

std::wstring ResolvePath(const std::wstring& base, const std::wstring& path) {
  std::wstring trimmed = TrimWide(path);
  if (trimmed.empty()) return trimmed;
  if (trimmed.size() >= 2) {
    bool driveLetter = std::iswalpha(trimmed[0]) && trimmed[1] == L':';
    bool unc = trimmed[0] == L'\\' && trimmed[1] == L'\\';
    if (driveLetter || unc) return trimmed;
  }
  if (isSeparator(trimmed[0])) return trimmed;
  std::wstring result = base;
  if (!result.empty() && !isSeparator(result.back())) result += L'\\';
  result += trimmed;
  return result;
}

std::wstring ResolveFolderSetting(const std::wstring& setting, const std::wstring& programFolder,
                                  const std::wstring& fallback) {
  std::wstring trimmed = TrimWide(setting);
  if (trimmed.empty() || trimmed == L".") return fallback;
  return ResolvePath(programFolder, trimmed);
}
