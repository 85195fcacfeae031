#include "win/system_error.h"

#include "win/text.h"

std::wstring formatSystemError(DWORD code) {
  if (code == 0) return std::wstring();
  wchar_t* buffer = nullptr;
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length != 0 && buffer) {
    text.assign(buffer, length);
  } else {
    text = L"Win32 error: " + std::to_wstring(code);
  }
  if (buffer) LocalFree(buffer);
  return TrimWide(text);
}
