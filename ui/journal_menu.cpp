#include "ui/journal_menu.h"

#include <algorithm>
#include <cstring>

#include "win/handles.h"

std::string journalFileBytes(const std::wstring& text) {
  std::wstring crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      crlf += L"\r\n";
    } else if (c == L'\n') {
      crlf += L"\r\n";
    } else {
      crlf += c;
    }
  }
  std::string bytes = "\xEF\xBB\xBF";
  if (crlf.empty()) return bytes;
  int size = WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return bytes;
  size_t start = bytes.size();
  bytes.resize(start + static_cast<size_t>(size));
  WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), &bytes[start], size, nullptr, nullptr);
  return bytes;
}

bool writeJournalFile(const std::wstring& path, const std::string& bytes, DWORD* error) {
  HANDLE file = nullIfInvalid(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    *error = GetLastError();
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      *error = GetLastError();
      closeHandle(file);
      return false;
    }
    done += written;
  }
  closeHandle(file);
  return true;
}

bool putOnClipboard(HWND owner, const std::wstring& text, DWORD* error) {
  if (!OpenClipboard(owner)) {
    *error = GetLastError();
    return false;
  }
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  void* target = memory ? GlobalLock(memory) : nullptr;
  if (!target) {
    *error = GetLastError();
    if (memory) GlobalFree(memory);
    CloseClipboard();
    return false;
  }
  std::memcpy(target, text.c_str(), bytes);
  GlobalUnlock(memory);
  // From here on the clipboard owns the memory, unless it refused it.
  if (!SetClipboardData(CF_UNICODETEXT, memory)) {
    *error = GetLastError();
    GlobalFree(memory);
    CloseClipboard();
    return false;
  }
  CloseClipboard();
  return true;
}
