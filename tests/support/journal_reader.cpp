#include "tests/support/journal_reader.h"

#include <richedit.h>

#include <cwctype>

#include "tests/support/e2e_support.h"

namespace e2e {

namespace {

constexpr wchar_t kStampPattern[] = L"[00.00.0000 00:00:00] ";
constexpr size_t kStampLength = sizeof kStampPattern / sizeof kStampPattern[0] - 1;

bool stampAt(const std::wstring& text, size_t at) {
  for (size_t i = 0; i < kStampLength; ++i) {
    if (at + i >= text.size()) return false;
    wchar_t c = text[at + i];
    if (kStampPattern[i] == L'0' ? !iswdigit(c) : c != kStampPattern[i]) return false;
  }
  return true;
}

// Each entry with the offset, in text as plainLines gives it, of its first character.
std::vector<std::pair<size_t, JournalEntry>> split(const std::wstring& text) {
  std::vector<std::pair<size_t, JournalEntry>> result;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t next = begin;
    do {
      next = text.find(L'\n', next);
      if (next != std::wstring::npos) ++next;
    } while (next != std::wstring::npos && next < text.size() && !stampAt(text, next));
    std::wstring body = text.substr(begin, next == std::wstring::npos ? std::wstring::npos : next - begin);
    JournalEntry entry;
    if (stampAt(body, 0)) {
      entry.stamp = body.substr(1, kStampLength - 3);
      body = body.substr(kStampLength);
    }
    if (!body.empty() && body.back() == L'\n') body.pop_back();
    entry.text = body;
    result.emplace_back(begin, entry);
    if (next == std::wstring::npos) break;
    begin = next;
  }
  return result;
}

// The colour of the character at a rich edit position, through memory of the edit's own process
// when it is another one (messages with pointers do not cross processes by themselves).
struct ColourReader {
  HWND edit;
  HANDLE process = nullptr;
  void* remote = nullptr;

  explicit ColourReader(HWND window) : edit(window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(edit, &pid);
    if (pid == GetCurrentProcessId()) return;
    process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process) remote = VirtualAllocEx(process, nullptr, sizeof(CHARFORMAT2W), MEM_COMMIT, PAGE_READWRITE);
  }
  ~ColourReader() {
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (process) CloseHandle(process);
  }
  ColourReader(const ColourReader&) = delete;
  ColourReader& operator=(const ColourReader&) = delete;

  COLORREF at(LONG position) {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(edit, EM_SETSEL, position, position + 1, SMTO_ABORTIFHUNG, kTimeoutMs, &result))
      return CLR_INVALID;
    if (!process) {
      SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
      return format.crTextColor;
    }
    if (!remote || !WriteProcessMemory(process, remote, &format, sizeof format, nullptr)) return CLR_INVALID;
    SendMessageTimeoutW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                        kTimeoutMs, &result);
    if (!ReadProcessMemory(process, remote, &format, sizeof format, nullptr)) return CLR_INVALID;
    return format.crTextColor;
  }
};

}  // namespace

std::wstring plainLines(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      out += L'\n';
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<JournalEntry> parseJournal(const std::wstring& text) {
  std::vector<JournalEntry> entries;
  for (auto& each : split(plainLines(text))) entries.push_back(each.second);
  return entries;
}

std::vector<JournalEntry> readJournal(HWND edit) {
  std::vector<JournalEntry> entries;
  if (!edit) return entries;
  // The rich edit counts every line break as one character, as plainLines leaves it.
  ColourReader colours(edit);
  for (auto& each : split(plainLines(windowText(edit)))) {
    each.second.colour = colours.at(static_cast<LONG>(each.first));
    entries.push_back(each.second);
  }
  return entries;
}

std::vector<std::wstring> entryTexts(const std::vector<JournalEntry>& entries) {
  std::vector<std::wstring> texts;
  for (const JournalEntry& entry : entries) texts.push_back(entry.text);
  return texts;
}

size_t indexOf(const std::vector<JournalEntry>& entries, const std::wstring& text) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].text == text) return i;
  }
  return std::wstring::npos;
}

size_t indexStarting(const std::vector<JournalEntry>& entries, const std::wstring& prefix) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].text.compare(0, prefix.size(), prefix) == 0) return i;
  }
  return std::wstring::npos;
}

}  // namespace e2e
