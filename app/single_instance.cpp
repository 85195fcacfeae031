#include "app/single_instance.h"

#include <windows.h>

#include "app/application.h"
#include "config/paths.h"

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

bool Application::acquireSingleInstance() {
  std::wstring name = InstanceMutexName(GetProgramPath());
  instanceMutex = CreateMutexW(nullptr, FALSE, name.c_str());
  DWORD error = GetLastError();
  // A name taken by another kind of object gives no handle: start as if alone.
  if (!instanceMutex) return true;
  return error != ERROR_ALREADY_EXISTS;
}
