#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "ui/dpi.h"

// The program's icon resource: the log window's and the tray's.
constexpr int kAppIconId = 101;

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

// The Journal window: a read-only rich edit of timestamped coloured lines, an Exit and a Collapse
// button, a context menu to copy and save. It knows nothing of the servers; Exit is passed on.
struct LogWindow {
  HWND window = nullptr;
  HWND edit = nullptr;
  HWND exitButton = nullptr;
  HWND collapseButton = nullptr;
  bool visible = false;
  // Set by the shell while the tray holds its icon: hiding then hides; otherwise it minimises,
  // since nothing else would bring it back.
  bool hidesToTray = false;
  // Gets WM_COMMAND with IDC_LOG_EXIT (LOWORD) when the Exit button is clicked.
  HWND commandTarget = nullptr;
  // The window's DPI and what is drawn for it; remade when the window moves to a monitor of
  // another DPI.
  UINT dpi = kDefaultDpi;
  HFONT journalFont = nullptr, buttonFont = nullptr;
  HICON bigIcon = nullptr, smallIcon = nullptr;

  LogWindow() = default;
  ~LogWindow() { destroy(); }
  LogWindow(const LogWindow&) = delete;
  LogWindow& operator=(const LogWindow&) = delete;

  // Registers the class and makes the window hidden, with its rich edit and buttons.
  bool create(HINSTANCE instance, HWND commandTarget);
  // One line: "[dd.mm.yyyy hh:mm:ss] text" and CR LF, in the colour of its kind; dropped when
  // there is no window.
  void append(const std::wstring& text, bool isError, bool isSuccess);
  // activate: brought to the foreground too (never while the session ends).
  void show(bool activate = true);
  void hide();
  // The tray's double click: shown when hidden, hidden (even without the tray) when shown.
  void toggle();
  // The Journal's text (or only its selection) with CR LF line ends.
  std::wstring text(bool selectionOnly) const;
  bool copySelection();
  void selectAll();
  // Asks where, then writes the Journal there; failures get a red line.
  void save();
  // Fonts and icons go at WM_NCDESTROY.
  void destroy();
  LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void layout();
  // Fonts and icons for dpi; the layout follows at the next layout().
  void applyDpi(UINT newDpi);
  void onDpiChanged(WPARAM wParam, LPARAM lParam);
  void releaseDrawing();
  // The context menu, its commands and the keys of the Journal.
  void showJournalMenu(LPARAM screenPoint);
  bool onJournalCommand(WORD command);
  // Nonzero when the key is taken (EN_MSGFILTER's answer).
  LRESULT onJournalKey(const MSGFILTER& filter);
};
