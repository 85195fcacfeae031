#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "process/pe_imports.h"

// Which DLLs a program that the loader refused (0xC0000135) lacks, found as the loader looks for
// them, from the files alone: nothing is loaded or run to find out.

constexpr size_t kMaxMissingDlls = 5;
// Bounds against a PATH of thousands of folders and a tree of thousands of DLLs.
constexpr size_t kMaxPathFolders = 256;
constexpr size_t kMaxDllFilesRead = 64;
constexpr size_t kMaxDllNames = 1024;

struct MissingDll {
  std::wstring dll;       // as the import table names it
  std::wstring importer;  // the file name of the program or DLL that imports it
};

// Where the loader looks for a DLL named without a folder, in its order, for a program started
// with the standard search: program folder, system folder, Windows folder, current folder, PATH.
struct DllSearchPlaces {
  std::wstring programFolder;
  std::wstring systemFolder;  // of the program's bitness, as this process reaches it
  std::wstring windowsFolder;
  std::wstring currentFolder;  // the server's own
  std::vector<std::wstring> path;
  // From Windows 10 on the C runtime's api-ms-win-crt-* sets come with the system.
  bool windows10 = false;
};

// Whether an API set name counts as there without a file: every api-ms-win-* and ext-ms-win-*
// name, except that api-ms-win-crt-* before Windows 10 is an ordinary file.
bool apiSetPresent(const std::wstring& dll, bool windows10);

// The folders of a PATH value as the server's loader takes them: quotes removed, empty entries
// skipped, relative ones from currentFolder, the folder this process knows as its system folder
// (ourSystemFolder) taken as systemFolder (what the server reaches under that name), at most
// kMaxPathFolders.
std::vector<std::wstring> pathFolders(const std::wstring& path, const std::wstring& ourSystemFolder,
                                      const std::wstring& systemFolder, const std::wstring& currentFolder);

// The places for a program of this file and bitness started in currentFolder, from this system.
DllSearchPlaces dllSearchPlaces(const std::wstring& programPath, bool program64, const std::wstring& currentFolder);

// The DLLs that the program (already read into imports) and the DLLs it finds outside the system
// and Windows folders import and that none of the places holds, at most kMaxMissingDlls, in the
// order found. A file that can't be read is skipped.
std::vector<MissingDll> findMissingDlls(const std::wstring& programPath, const PeImports& imports,
                                        const DllSearchPlaces& places);

// The same for a program file started in currentFolder, on this system; none when it can't be read.
std::vector<MissingDll> missingDlls(const std::wstring& programPath, const std::wstring& currentFolder);
