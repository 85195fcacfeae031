#pragma once

#include <windows.h>

// The log window and its controls.
constexpr wchar_t kLogWindowClass[] = L"WendlorLogWindow";
constexpr int IDC_JOURNAL_EDIT = 1;
constexpr int IDC_LOG_EXIT = 2001;
constexpr int IDC_LOG_COLLAPSE = 2002;
constexpr int kLogWindowWidth = 600;
constexpr int kLogWindowHeight = 400;
constexpr int kLogButtonWidth = 80;
constexpr int kLogButtonHeight = 25;

// The Journal's text limit, in characters: far above what a run writes.
constexpr LPARAM kJournalTextLimit = 0x7FFFFFFE;

// Colours of the Journal's line kinds.
constexpr COLORREF kJournalErrorColour = RGB(255, 0, 0);
constexpr COLORREF kJournalSuccessColour = RGB(0, 180, 0);
constexpr COLORREF kJournalPlainColour = RGB(0, 0, 0);

COLORREF journalColour(bool isError, bool isSuccess);

LRESULT CALLBACK logWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
