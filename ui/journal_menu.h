#pragma once

#include <windows.h>

#include <string>

// The Journal's context menu, and the file it is saved to.
constexpr WORD IDM_JOURNAL_COPY = 2101;
constexpr WORD IDM_JOURNAL_SELECT_ALL = 2102;
constexpr WORD IDM_JOURNAL_SAVE = 2103;
constexpr wchar_t kJournalFileName[] = L"wendlor-journal.txt";
// Room in the save dialog for any path Windows can open, long ones included.
constexpr DWORD kSavePathCapacity = 32768;

// The saved file's bytes: a UTF-8 byte order mark, then text in UTF-8 with every line break
// (CR LF, CR alone, LF alone) written as CR LF.
std::string journalFileBytes(const std::wstring& text);

// Writes bytes to path, replacing what was there; false with *error set on failure.
bool writeJournalFile(const std::wstring& path, const std::string& bytes, DWORD* error);

// Puts text on the clipboard as Unicode text; false with *error set when the clipboard can't be
// had (another program holds it) or taken.
bool putOnClipboard(HWND owner, const std::wstring& text, DWORD* error);
