#include "win/system_files.h"

#include <vector>

void restrictDllSearchToSystem() {
  // Looked up rather than imported: Windows 7 has it only with an update, and without it the
  // program must still start.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  FARPROC found = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
  auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(found));
  if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool systemFolder(std::wstring* folder) {
  UINT needed = GetSystemDirectoryW(nullptr, 0);
  if (needed == 0) return false;
  std::vector<wchar_t> buffer(needed, L'\0');
  UINT length = GetSystemDirectoryW(buffer.data(), needed);
  if (length == 0 || length >= needed) return false;
  folder->assign(buffer.data(), length);
  return true;
}

bool systemFilePath(const std::wstring& name, std::wstring* path) {
  std::wstring folder;
  if (!systemFolder(&folder)) return false;
  if (folder.back() != L'\\') folder += L'\\';
  *path = folder + name;
  return true;
}

HMODULE loadSystemLibrary(const wchar_t* name) {
  HMODULE library = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library || GetLastError() != ERROR_INVALID_PARAMETER) return library;
  // A Windows that does not know the search flag: name the file in the system folder instead.
  std::wstring path;
  if (!systemFilePath(name, &path)) return nullptr;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
