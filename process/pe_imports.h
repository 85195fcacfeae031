#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// What a program or DLL file needs at its start, read from its bytes without loading it: the DLLs
// of its import table (not the delay-loaded ones, which wait until first use) and whether it asks
// for side-by-side assemblies.

// Files above this size are read only this far; a table that lies past it is not trusted.
constexpr ULONGLONG kPeReadLimit = 64ull * 1024 * 1024;
// At most this many DLL names are taken from one import table.
constexpr size_t kMaxPeImports = 1024;

struct PeImports {
  bool is64 = false;               // PE32+; PE32 otherwise
  std::vector<std::wstring> dlls;  // as the table names them, in its order
  // A manifest resource of the file names a dependentAssembly: the loader may take those DLLs
  // from the side-by-side store rather than from any folder.
  bool dependentAssembly = false;
};

// The imports of the file's bytes; false, with *imports left alone, when they are not a PE32 or
// PE32+ image or a header or table points outside them.
bool parsePeImports(const std::string& bytes, PeImports* imports);

// The same for a file, read up to kPeReadLimit; false when it can't be read.
bool readPeImports(const std::wstring& path, PeImports* imports);
