#include "win/file_bytes.h"

#include <vector>

std::string readFileBytes(HANDLE file, ULONGLONG offset, ULONGLONG limit) {
  std::string bytes;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return bytes;
  const DWORD chunk = 64 * 1024;
  std::vector<char> buffer(chunk);
  while (bytes.size() < limit) {
    ULONGLONG left = limit - bytes.size();
    DWORD want = left < chunk ? static_cast<DWORD>(left) : chunk;
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), want, &got, nullptr) || got == 0) break;
    bytes.append(buffer.data(), got);
  }
  return bytes;
}
