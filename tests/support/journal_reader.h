#pragma once

// The Journal as entries, read from its rich edit in this process or in another one.

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// The Journal's colours as the user is told them, written out here rather than taken from the
// program: black for progress, green for a server that started, red for errors.
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kGreen = RGB(0, 180, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);

// One appendJournal call as it shows: "[dd.mm.yyyy hh:mm:ss] text", where text keeps the lines
// that followed without a stamp of their own (joined with LF).
struct JournalEntry {
  std::wstring stamp;  // "dd.mm.yyyy hh:mm:ss"; empty for text before the first stamp
  std::wstring text;
  COLORREF colour = CLR_INVALID;      // of the entry's first character; CLR_INVALID when not read
  COLORREF lastColour = CLR_INVALID;  // of its last character (before the line break)
};

// The Journal's text with every line break as LF (the rich edit may give CR LF or CR alone).
std::wstring plainLines(const std::wstring& text);

// Splits Journal text into entries; colours are not read.
std::vector<JournalEntry> parseJournal(const std::wstring& text);

// Reads the rich edit's text and the colour of each entry, also across processes.
std::vector<JournalEntry> readJournal(HWND edit);

std::vector<std::wstring> entryTexts(const std::vector<JournalEntry>& entries);

// Index of the first entry whose text equals / starts with the given one; npos when none.
size_t indexOf(const std::vector<JournalEntry>& entries, const std::wstring& text);
size_t indexStarting(const std::vector<JournalEntry>& entries, const std::wstring& prefix);

}  // namespace e2e
