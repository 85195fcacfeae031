#include "win/text.h"

#include <climits>

namespace {

bool isBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

}  // namespace

std::wstring TrimWide(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::wstring decodeText(UINT codePage, const char* data, size_t size) {
  if (size == 0 || size > static_cast<size_t>(INT_MAX)) return std::wstring();
  int length = MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), &text[0], length);
  return text;
}

bool equalsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring fileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
