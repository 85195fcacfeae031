#include "win/process_image.h"

#include <vector>

bool processImagePath(HANDLE process, std::wstring* path) {
  if (!process) return false;
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    if (QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) {
      path->assign(buffer.data(), size);
      return size > 0;
    }
    // Too small for a long path: grow up to the longest path there is.
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 32768) return false;
    buffer.resize(buffer.size() * 4);
  }
}
