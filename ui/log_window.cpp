#include "ui/log_window.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "ui/journal_menu.h"
#include "win/handles.h"
#include "win/system_error.h"
#include "win/system_files.h"

namespace {

constexpr wchar_t kLogWindowTitle[] = L"ZEM Wendlor: журнал работы программы";
constexpr int kButtonBand = 45;
constexpr int kButtonMargin = 10;
constexpr int kButtonBottomOffset = 35;
constexpr int kJournalFontHeight = 15;
// DEFAULT_GUI_FONT's height at 96 DPI: the buttons keep its face at every DPI.
constexpr int kButtonFontHeight = -11;

constexpr wchar_t kSaveFilter[] = L"Текстовые файлы (*.txt)\0*.txt\0Все файлы (*.*)\0*.*\0";
constexpr wchar_t kSaveFailedPrefix[] = L"ОШИБКА: Не удалось сохранить журнал: ";
constexpr wchar_t kCopyFailedPrefix[] = L"ОШИБКА: Не удалось скопировать текст журнала: ";

// From the system folder only: a DLL of that name beside wendlor.exe would run inside us.
HMODULE loadRichEditLibrary() {
  HMODULE library = loadSystemLibrary(L"msftedit.dll");
  if (!library) library = loadSystemLibrary(L"riched20.dll");
  return library;
}

void freeLibrary(HMODULE& library) {
  if (library) {
    FreeLibrary(library);
    library = nullptr;
  }
}

HWND createButton(HWND parent, HINSTANCE instance, const wchar_t* text, int id) {
  HWND button =
      CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 0, kLogButtonWidth,
                      kLogButtonHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  return button;
}

LRESULT CALLBACK logWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  auto* log = reinterpret_cast<LogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!log) return DefWindowProcW(window, message, wParam, lParam);
  return log->handleMessage(window, message, wParam, lParam);
}

}  // namespace

COLORREF journalColour(bool isError, bool isSuccess) {
  if (isError) return kJournalErrorColour;
  if (isSuccess) return kJournalSuccessColour;
  return kJournalPlainColour;
}

void LogWindow::append(const std::wstring& line, bool isError, bool isSuccess) {
  if (!edit) return;

  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t stamp[32];
  swprintf(stamp, 32, L"[%02d.%02d.%04d %02d:%02d:%02d]", now.wDay, now.wMonth, now.wYear, now.wHour, now.wMinute,
           now.wSecond);
  std::wstring entry = stamp;
  entry += L' ';
  entry += line;
  entry += L"\r\n";

  GETTEXTLENGTHEX lengthQuery = {GTL_DEFAULT, 1200};
  LRESULT length = SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);

  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.dwEffects = 0;
  format.crTextColor = journalColour(isError, isSuccess);
  SendMessageW(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));

  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(entry.c_str()));
  SendMessageW(edit, WM_VSCROLL, SB_BOTTOM, 0);
}

bool LogWindow::create(HINSTANCE instance, HWND target) {
  commandTarget = target;
  HMODULE richEdit = loadRichEditLibrary();

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = logWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = kLogWindowClass;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    freeLibrary(richEdit);
    return false;
  }

  window = CreateWindowExW(0, kLogWindowClass, kLogWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                           CW_USEDEFAULT, kLogWindowWidth, kLogWindowHeight, nullptr, nullptr, instance, this);
  if (!window) {
    freeLibrary(richEdit);
    return false;
  }

  const DWORD editStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
  HMENU editId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_JOURNAL_EDIT));
  edit =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"RICHEDIT50W", L"", editStyle, 0, 0, 0, 0, window, editId, instance, nullptr);
  if (!edit) {
    edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"RichEdit20W", L"", editStyle, 0, 0, 0, 0, window, editId, instance,
                           nullptr);
  }
  if (!edit) {
    destroy();
    return false;
  }

  // A rich edit holds 32,767 characters unless told otherwise; past that every line is dropped.
  SendMessageW(edit, EM_EXLIMITTEXT, 0, kJournalTextLimit);

  // Keys come to us first (EN_MSGFILTER), so that Ctrl+C can tell when the clipboard is not ours.
  SendMessageW(edit, EM_SETEVENTMASK, 0, ENM_KEYEVENTS);

  exitButton = createButton(window, instance, L"Выход", IDC_LOG_EXIT);
  collapseButton = createButton(window, instance, L"Свернуть", IDC_LOG_COLLAPSE);
  if (!exitButton || !collapseButton) {
    destroy();
    return false;
  }

  // Made at its 96-DPI size: the monitor it is on may want it larger.
  applyDpi(windowDpi(window));
  if (dpi != kDefaultDpi) {
    SetWindowPos(window, nullptr, 0, 0, scaleForDpi(kLogWindowWidth, dpi), scaleForDpi(kLogWindowHeight, dpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  ShowWindow(window, SW_HIDE);
  return true;
}

void LogWindow::layout() {
  if (!window || !edit || !exitButton || !collapseButton) return;
  RECT client{};
  GetClientRect(window, &client);
  int width = client.right;
  int height = client.bottom;
  const int margin = scaleForDpi(kButtonMargin, dpi);
  const int buttonWidth = scaleForDpi(kLogButtonWidth, dpi);
  const int buttonHeight = scaleForDpi(kLogButtonHeight, dpi);
  const int buttonTop = height - scaleForDpi(kButtonBottomOffset, dpi);
  SetWindowPos(exitButton, nullptr, margin, buttonTop, buttonWidth, buttonHeight, SWP_NOZORDER);
  SetWindowPos(collapseButton, nullptr, width - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight,
               SWP_NOZORDER);
  SetWindowPos(edit, nullptr, 0, 0, width, height - scaleForDpi(kButtonBand, dpi), SWP_NOZORDER);
}

void LogWindow::applyDpi(UINT newDpi) {
  if (!window) return;
  dpi = newDpi;
  HFONT oldJournalFont = journalFont;
  HFONT oldButtonFont = buttonFont;
  journalFont =
      CreateFontW(scaleForDpi(kJournalFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                  OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH, L"Arial");
  LOGFONTW buttonFace{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof buttonFace, &buttonFace);
  buttonFace.lfHeight = scaleForDpi(kButtonFontHeight, dpi);
  buttonFace.lfWidth = 0;
  buttonFont = CreateFontIndirectW(&buttonFace);
  if (edit) SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(journalFont), TRUE);
  for (HWND button : {exitButton, collapseButton}) {
    if (button) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont), TRUE);
  }
  // The controls hold the new fonts now; the old ones can go.
  deleteFont(oldJournalFont);
  deleteFont(oldButtonFont);

  // A missing icon resource leaves the window with the default icon.
  HINSTANCE module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  HICON big = loadIconOfSize(module, kAppIconId, bigIconSize(dpi));
  HICON small = loadIconOfSize(module, kAppIconId, smallIconSize(dpi));
  if (big) {
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    destroyIcon(bigIcon);
    bigIcon = big;
  }
  if (small) {
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    destroyIcon(smallIcon);
    smallIcon = small;
  }
}

void LogWindow::onDpiChanged(WPARAM wParam, LPARAM lParam) {
  UINT newDpi = LOWORD(wParam);
  // No monitor has such a DPI: trust what the system says of the window instead.
  if (!usableDpi(newDpi)) newDpi = windowDpi(window);
  applyDpi(newDpi);
  // The suggested rectangle keeps the window's size in proportion on its new monitor; one that
  // lies on no monitor leaves the window where it is.
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  if (usableSuggestedRect(suggested)) {
    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  layout();
}

void LogWindow::releaseDrawing() {
  deleteFont(journalFont);
  deleteFont(buttonFont);
  destroyIcon(bigIcon);
  destroyIcon(smallIcon);
}

void LogWindow::show(bool activate) {
  if (!window) return;
  visible = true;
  layout();
  if (!activate) {
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return;
  }
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(window);
}

void LogWindow::hide() {
  if (!window) return;
  visible = false;
  ShowWindow(window, hidesToTray ? SW_HIDE : SW_MINIMIZE);
}

void LogWindow::toggle() {
  if (!visible) {
    show();
    return;
  }
  if (!window) return;
  visible = false;
  // Asked for from the tray icon, which brings it back: hidden, not minimised.
  ShowWindow(window, SW_HIDE);
}

void LogWindow::destroy() {
  // The children go with it, and WM_NCDESTROY clears every handle.
  destroyWindow(window);
}

std::wstring LogWindow::text(bool selectionOnly) const {
  if (!edit) return std::wstring();
  GETTEXTLENGTHEX lengthQuery = {GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200};
  LRESULT length = SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0);
  if (length <= 0) return std::wstring();
  // Room for every character and its line break twice over, whatever the control counts.
  std::vector<wchar_t> buffer(static_cast<size_t>(length) * 2 + 1, L'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  query.flags = GT_USECRLF | (selectionOnly ? GT_SELECTION : 0);
  query.codepage = 1200;
  LRESULT got =
      SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query), reinterpret_cast<LPARAM>(buffer.data()));
  if (got <= 0) return std::wstring();
  return std::wstring(buffer.data(), std::min<size_t>(static_cast<size_t>(got), buffer.size() - 1));
}

bool LogWindow::copySelection() {
  if (!edit) return false;
  CHARRANGE selection{};
  SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  if (selection.cpMin == selection.cpMax) return true;  // nothing selected, nothing to copy
  DWORD error = 0;
  if (putOnClipboard(window, text(true), &error)) return true;
  append(kCopyFailedPrefix + formatSystemError(error), true, false);
  return false;
}

void LogWindow::selectAll() {
  if (!edit) return;
  SendMessageW(edit, EM_SETSEL, 0, -1);
  // A rich edit shows its selection only while it has the focus.
  SetFocus(edit);
}

void LogWindow::save() {
  if (!edit) return;
  std::vector<wchar_t> path(kSavePathCapacity, L'\0');
  lstrcpynW(path.data(), kJournalFileName, static_cast<int>(path.size()));
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = kSaveFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrDefExt = L"txt";
  dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&dialog)) {
    // Zero: the user cancelled. Anything else is the dialog's own failure.
    DWORD failure = CommDlgExtendedError();
    if (failure != 0)
      append(std::wstring(kSaveFailedPrefix) + L"CommDlgExtendedError " + std::to_wstring(failure), true, false);
    return;
  }
  DWORD error = 0;
  if (!writeJournalFile(path.data(), journalFileBytes(text(false)), &error)) {
    append(kSaveFailedPrefix + formatSystemError(error), true, false);
  }
}

void LogWindow::showJournalMenu(LPARAM screenPoint) {
  if (!edit) return;
  POINT at = {GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
  if (at.x == -1 && at.y == -1) {
    // From the keyboard (Shift+F10, the menu key): at the Journal's top-left corner.
    RECT bounds{};
    GetWindowRect(edit, &bounds);
    at = {bounds.left, bounds.top};
  }
  CHARRANGE selection{};
  SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  AppendMenuW(menu, MF_STRING | (selection.cpMin == selection.cpMax ? MF_GRAYED : 0), IDM_JOURNAL_COPY, L"Копировать");
  AppendMenuW(menu, MF_STRING, IDM_JOURNAL_SELECT_ALL, L"Выделить всё");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_JOURNAL_SAVE, L"Сохранить журнал...");
  // The chosen item arrives as WM_COMMAND once the menu has closed.
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
  destroyMenu(menu);
}

bool LogWindow::onJournalCommand(WORD command) {
  switch (command) {
    case IDM_JOURNAL_COPY:
      copySelection();
      return true;
    case IDM_JOURNAL_SELECT_ALL:
      selectAll();
      return true;
    case IDM_JOURNAL_SAVE:
      save();
      return true;
  }
  return false;
}

LRESULT LogWindow::onJournalKey(const MSGFILTER& filter) {
  if (filter.msg != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0) return 0;
  if (filter.wParam == 'C' || filter.wParam == VK_INSERT) {
    copySelection();
    return 1;
  }
  if (filter.wParam == 'A') {
    selectAll();
    return 1;
  }
  return 0;
}

LRESULT LogWindow::handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      layout();
      return 0;
    case WM_CLOSE:
      hide();
      return 0;
    case WM_DPICHANGED:
      onDpiChanged(wParam, lParam);
      return 0;
    case WM_SETFOCUS:
      // Ctrl+A and Ctrl+C work as soon as the window is active.
      if (edit) SetFocus(edit);
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == edit) {
        showJournalMenu(lParam);
        return 0;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == edit && header->code == EN_MSGFILTER) {
        return onJournalKey(*reinterpret_cast<const MSGFILTER*>(lParam));
      }
      break;
    }
    case WM_NCDESTROY:
      releaseDrawing();
      // Destroyed from outside too: no handle of it may outlive it.
      window = edit = exitButton = collapseButton = nullptr;
      visible = false;
      break;
    case WM_COMMAND:
      if (onJournalCommand(LOWORD(wParam))) return 0;
      if (LOWORD(wParam) == IDC_LOG_EXIT) {
        // Sent, not posted: the shell's Exit runs before the click returns, as a direct call would.
        if (commandTarget) SendMessageW(commandTarget, WM_COMMAND, MAKEWPARAM(IDC_LOG_EXIT, 0), 0);
        return 0;
      }
      if (LOWORD(wParam) == IDC_LOG_COLLAPSE) {
        hide();
        return 0;
      }
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
