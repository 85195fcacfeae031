#include "orchestration/exit_reason.h"

#include <cwchar>

#include "process/missing_dlls.h"

namespace {

struct CodeText {
  DWORD code;
  const wchar_t* text;
};

const CodeText kCodeTexts[] = {
    {0xC0000005, L"программа аварийно завершилась: нарушение доступа к памяти"},
    {0xC0000135, L"не найдена библиотека DLL, нужная программе"},
    {0xC0000139, L"в библиотеке DLL нет нужной программе функции: версии программы и библиотеки не совпадают"},
    {0xC000007B, L"программа или её библиотека DLL повреждена или другой разрядности (32/64 бита)"},
    {0xC0000142, L"библиотека DLL не смогла начать работу"},
    {0xC0000409,
     L"программа аварийно завершилась: она сама прервала работу, обнаружив ошибку (abort, проверка безопасности)"},
    {0xC00000FD, L"программа аварийно завершилась: переполнение стека"},
    {0xC0000374, L"программа аварийно завершилась: повреждена куча"},
    {0xC0000017, L"программе не хватило памяти"},
    {0xC000013A, L"программа завершена по Ctrl+C"},
    {0x80000003, L"программа аварийно завершилась: точка останова (abort)"},
};

constexpr DWORD kFirstSystemCode = 0xC0000000;

// The system's text as one line: no "{Caption}" before it, nothing after its first line break,
// and no full stop of its own, since the line ends with one.
std::wstring firstLine(const std::wstring& text) {
  size_t begin = text.find_first_not_of(L" \t\r\n");
  if (begin != std::wstring::npos && text[begin] == L'{') {
    size_t close = text.find(L'}', begin);
    begin = close == std::wstring::npos ? std::wstring::npos : text.find_first_not_of(L" \t\r\n", close + 1);
  }
  if (begin == std::wstring::npos) return std::wstring();
  size_t end = text.find_first_of(L"\r\n", begin);
  std::wstring line = text.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
  while (!line.empty() && (line.back() == L' ' || line.back() == L'\t' || line.back() == L'.')) line.pop_back();
  return line;
}

}  // namespace

std::wstring exitReasonLine(DWORD code, const std::wstring& systemText) {
  std::wstring text;
  for (const CodeText& each : kCodeTexts) {
    if (each.code == code) text = each.text;
  }
  if (text.empty() && code >= kFirstSystemCode) text = firstLine(systemText);
  if (text.empty()) return text;
  wchar_t hex[16];
  swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(code));
  return L"Причина: " + std::wstring(hex) + L" — " + text + L".";
}

std::wstring ntStatusMessage(DWORD code) {
  // ntdll is in every process, so this loads nothing.
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return std::wstring();
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           ntdll, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  return text;
}

std::vector<std::wstring> exitReasonLines(DWORD code, const std::wstring& programPath, const std::wstring& folder) {
  std::vector<std::wstring> lines;
  std::wstring reason = exitReasonLine(code, code >= kFirstSystemCode ? ntStatusMessage(code) : L"");
  if (reason.empty()) return lines;
  lines.push_back(reason);
  if (code != kDllNotFound || programPath.empty()) return lines;
  for (const MissingDll& missing : missingDlls(programPath, folder)) {
    lines.push_back(L"Не найдена библиотека " + missing.dll + L" (нужна для " + missing.importer + L").");
  }
  return lines;
}
