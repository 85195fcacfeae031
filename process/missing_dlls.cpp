#include "process/missing_dlls.h"

#include <cwchar>
#include <iterator>

#include "win/text.h"

namespace {

std::wstring withoutTrailingSlash(std::wstring folder) {
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
  std::wstring head = text.substr(0, wcslen(prefix));
  return equalsIgnoringCase(head, prefix);
}

std::wstring folderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool isAbsolute(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
         (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/'));
}

bool isFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring folderSetting(UINT(WINAPI* get)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH + 1];
  UINT n = get(buffer, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

bool windows10OrLater() {
  // GetVersionEx answers what the manifest claims; the kernel's own call tells the truth.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto getVersion = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(ntdll ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  return getVersion && getVersion(&version) == 0 && version.dwMajorVersion >= 10;
}

struct Search {
  const DllSearchPlaces& places;
  std::vector<std::wstring> seen;
  std::vector<MissingDll> missing;
  size_t filesRead = 0;

  // The full path the loader would take; empty when no place holds the file. *system tells that
  // it is the system's, whose imports are the system's business.
  std::wstring find(const std::wstring& dll, bool* system) const {
    const std::wstring* fixed[] = {&places.programFolder, &places.systemFolder, &places.windowsFolder,
                                   &places.currentFolder};
    std::vector<const std::wstring*> folders(std::begin(fixed), std::end(fixed));
    for (const std::wstring& folder : places.path) folders.push_back(&folder);
    for (const std::wstring* folder : folders) {
      if (folder->empty()) continue;
      std::wstring candidate = withoutTrailingSlash(*folder) + L"\\" + dll;
      if (!isFile(candidate)) continue;
      std::wstring where = withoutTrailingSlash(*folder);
      *system = equalsIgnoringCase(where, withoutTrailingSlash(places.systemFolder)) ||
                equalsIgnoringCase(where, withoutTrailingSlash(places.windowsFolder));
      return candidate;
    }
    return std::wstring();
  }

  bool firstTime(const std::wstring& dll) {
    for (const std::wstring& each : seen) {
      if (equalsIgnoringCase(each, dll)) return false;
    }
    seen.push_back(dll);
    return true;
  }

  void walk(const std::wstring& importerPath, const PeImports& imports) {
    for (const std::wstring& dll : imports.dlls) {
      if (missing.size() >= kMaxMissingDlls || seen.size() >= kMaxDllNames) return;
      if (!firstTime(dll) || apiSetPresent(dll, places.windows10)) continue;
      bool system = false;
      std::wstring found = find(dll, &system);
      if (found.empty()) {
        // The side-by-side store holds what a manifest asks for; a folder search can't see it.
        if (!imports.dependentAssembly) missing.push_back({dll, fileNameOf(importerPath)});
        continue;
      }
      if (system || filesRead >= kMaxDllFilesRead) continue;
      ++filesRead;
      PeImports next;
      if (readPeImports(found, &next)) walk(found, next);
    }
  }
};

}  // namespace

bool apiSetPresent(const std::wstring& dll, bool windows10) {
  if (startsWith(dll, L"api-ms-win-crt-")) return windows10;
  return startsWith(dll, L"api-ms-win-") || startsWith(dll, L"ext-ms-win-");
}

std::vector<std::wstring> pathFolders(const std::wstring& path, const std::wstring& ourSystemFolder,
                                      const std::wstring& systemFolder, const std::wstring& currentFolder) {
  std::vector<std::wstring> folders;
  size_t begin = 0;
  while (begin <= path.size() && folders.size() < kMaxPathFolders) {
    size_t end = path.find(L';', begin);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder;
    for (size_t i = begin; i < end; ++i) {
      if (path[i] != L'"') folder += path[i];
    }
    begin = end + 1;
    if (folder.find_first_not_of(L" \t") == std::wstring::npos) continue;
    if (!isAbsolute(folder)) folder = withoutTrailingSlash(currentFolder) + L"\\" + folder;
    if (!ourSystemFolder.empty() &&
        equalsIgnoringCase(withoutTrailingSlash(folder), withoutTrailingSlash(ourSystemFolder))) {
      folder = systemFolder;
    }
    folders.push_back(folder);
  }
  return folders;
}

DllSearchPlaces dllSearchPlaces(const std::wstring& programPath, bool program64, const std::wstring& currentFolder) {
  DllSearchPlaces places;
  places.programFolder = folderOf(programPath);
  places.windowsFolder = folderSetting(GetWindowsDirectoryW);
  places.currentFolder = currentFolder;
  places.windows10 = windows10OrLater();
  std::wstring ourSystem = folderSetting(GetSystemDirectoryW);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  bool we64 = sizeof(void*) == 8;
  if (!program64 && (we64 || wow64)) {
    places.systemFolder = folderSetting(GetSystemWow64DirectoryW);
  } else if (program64 && wow64) {
    // The 64-bit System32 that this 32-bit process would be redirected away from.
    places.systemFolder = withoutTrailingSlash(folderSetting(GetSystemWindowsDirectoryW)) + L"\\Sysnative";
  } else {
    places.systemFolder = ourSystem;
  }
  if (places.systemFolder.empty()) places.systemFolder = ourSystem;
  std::vector<wchar_t> path(32768);
  DWORD n = GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size()));
  if (n > 0 && n < path.size()) {
    places.path = pathFolders(std::wstring(path.data(), n), ourSystem, places.systemFolder, currentFolder);
  }
  return places;
}

std::vector<MissingDll> findMissingDlls(const std::wstring& programPath, const PeImports& imports,
                                        const DllSearchPlaces& places) {
  Search search{places, {}, {}, 0};
  search.walk(programPath, imports);
  return search.missing;
}

std::vector<MissingDll> missingDlls(const std::wstring& programPath, const std::wstring& currentFolder) {
  PeImports imports;
  if (programPath.empty() || !readPeImports(programPath, &imports)) return {};
  return findMissingDlls(programPath, imports, dllSearchPlaces(programPath, imports.is64, currentFolder));
}
