#include "app/single_instance.h"

#include <windows.h>

#include <vector>

#include "config/paths.h"
#include "win/handles.h"

uint64_t HashProgramPath(const std::wstring& text) {
  uint64_t hash = kFnvOffsetBasis;
  for (wchar_t unit : text) {
    hash ^= static_cast<uint16_t>(unit);
    hash *= kFnvPrime;
  }
  return hash;
}

std::wstring InstanceMutexName(const std::wstring& programPath) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  uint64_t hash = HashProgramPath(programPath);
  std::wstring hex(16, L'0');
  for (int i = 15; i >= 0; --i) {
    hex[static_cast<size_t>(i)] = kDigits[hash & 0xF];
    hash >>= 4;
  }
  return kInstanceMutexPrefix + hex;
}

bool OtherInstanceRuns(bool gotHandle, DWORD error) {
  if (gotHandle) return error == ERROR_ALREADY_EXISTS;
  // An elevated Launcher's guard exists but may not be opened with all access from outside its
  // elevation; a name taken by another kind of object says nothing of us: start as if alone.
  return error == ERROR_ACCESS_DENIED;
}

namespace {

// The executable's final path, case-folded: letter case, 8.3 names, subst drives and junctions all
// name one file, and each would otherwise give a guard of its own. Empty when any step fails.
std::wstring finalProgramPath() {
  std::wstring module = GetProgramPath();
  if (module.empty()) return std::wstring();
  // No access beyond the attributes, shared with everyone: only the handle's name is wanted.
  HANDLE file = nullIfInvalid(CreateFileW(module.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return std::wstring();
  std::vector<wchar_t> path;
  DWORD length = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED);
  if (length > 0) {
    path.resize(length);
    length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (length >= path.size()) length = 0;
  }
  closeHandle(file);
  if (length == 0) return std::wstring();
  // The file system matches names without regard to case, so neither may the guard.
  std::wstring folded(length, L'\0');
  int mapped = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.data(), static_cast<int>(length), &folded[0],
                            static_cast<int>(length));
  return mapped == static_cast<int>(length) ? folded : std::wstring();
}

}  // namespace

bool acquireSingleInstance(HANDLE* mutex) {
  std::wstring path = finalProgramPath();
  if (path.empty()) path = GetProgramPath();
  std::wstring name = InstanceMutexName(path);
  *mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  DWORD error = GetLastError();
  return !OtherInstanceRuns(*mutex != nullptr, error);
}
