#include "ui/journal.h"

#include <richedit.h>

#include <cwchar>

#include "app/application.h"
#include "ui/dpi.h"
#include "ui/journal_menu.h"
#include "win/handles.h"
#include "win/system_files.h"

namespace {

constexpr wchar_t kLogWindowTitle[] = L"ZEM Wendlor: журнал работы программы";
constexpr int kButtonBand = 45;
constexpr int kButtonMargin = 10;
constexpr int kButtonBottomOffset = 35;
constexpr int kJournalFontHeight = 15;
// DEFAULT_GUI_FONT's height at 96 DPI: the buttons keep its face at every DPI.
constexpr int kButtonFontHeight = -11;

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

}  // namespace

COLORREF journalColour(bool isError, bool isSuccess) {
  if (isError) return kJournalErrorColour;
  if (isSuccess) return kJournalSuccessColour;
  return kJournalPlainColour;
}

void Application::appendJournal(const std::wstring& text, bool isError, bool isSuccess) {
  if (!journalEdit) return;

  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t stamp[32];
  swprintf(stamp, 32, L"[%02d.%02d.%04d %02d:%02d:%02d]", now.wDay, now.wMonth, now.wYear, now.wHour, now.wMinute,
           now.wSecond);
  std::wstring line = stamp;
  line += L' ';
  line += text;
  line += L"\r\n";

  GETTEXTLENGTHEX lengthQuery = {GTL_DEFAULT, 1200};
  LRESULT length = SendMessageW(journalEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0);
  SendMessageW(journalEdit, EM_SETSEL, static_cast<WPARAM>(length), length);

  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.dwEffects = 0;
  format.crTextColor = journalColour(isError, isSuccess);
  SendMessageW(journalEdit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));

  SendMessageW(journalEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
  SendMessageW(journalEdit, WM_VSCROLL, SB_BOTTOM, 0);
}

bool Application::createLogWindow(HINSTANCE moduleInstance) {
  HMODULE richEdit = loadRichEditLibrary();

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = logWindowProc;
  windowClass.hInstance = moduleInstance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = kLogWindowClass;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    freeLibrary(richEdit);
    return false;
  }

  logWindow = CreateWindowExW(0, kLogWindowClass, kLogWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                              CW_USEDEFAULT, kLogWindowWidth, kLogWindowHeight, nullptr, nullptr, moduleInstance, this);
  if (!logWindow) {
    freeLibrary(richEdit);
    return false;
  }

  const DWORD editStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
  HMENU editId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_JOURNAL_EDIT));
  journalEdit = CreateWindowExW(WS_EX_CLIENTEDGE, L"RICHEDIT50W", L"", editStyle, 0, 0, 0, 0, logWindow, editId,
                                moduleInstance, nullptr);
  if (!journalEdit) {
    journalEdit = CreateWindowExW(WS_EX_CLIENTEDGE, L"RichEdit20W", L"", editStyle, 0, 0, 0, 0, logWindow, editId,
                                  moduleInstance, nullptr);
  }
  if (!journalEdit) {
    destroyWindow(logWindow);
    return false;
  }

  // A rich edit holds 32,767 characters unless told otherwise; past that every line is dropped.
  SendMessageW(journalEdit, EM_EXLIMITTEXT, 0, kJournalTextLimit);

  // Keys come to us first (EN_MSGFILTER), so that Ctrl+C can tell when the clipboard is not ours.
  SendMessageW(journalEdit, EM_SETEVENTMASK, 0, ENM_KEYEVENTS);

  exitButton = createButton(logWindow, moduleInstance, L"Выход", IDC_LOG_EXIT);
  collapseButton = createButton(logWindow, moduleInstance, L"Свернуть", IDC_LOG_COLLAPSE);
  if (!exitButton || !collapseButton) {
    destroyWindow(logWindow);
    journalEdit = nullptr;
    exitButton = nullptr;
    collapseButton = nullptr;
    return false;
  }

  // Made at its 96-DPI size: the monitor it is on may want it larger.
  applyLogWindowDpi(windowDpi(logWindow));
  if (logWindowDpi != kDefaultDpi) {
    SetWindowPos(logWindow, nullptr, 0, 0, scaleForDpi(kLogWindowWidth, logWindowDpi),
                 scaleForDpi(kLogWindowHeight, logWindowDpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  ShowWindow(logWindow, SW_HIDE);
  return true;
}

void Application::layoutLogWindow() {
  if (!logWindow || !journalEdit || !exitButton || !collapseButton) return;
  RECT client{};
  GetClientRect(logWindow, &client);
  int width = client.right;
  int height = client.bottom;
  const UINT dpi = logWindowDpi;
  const int margin = scaleForDpi(kButtonMargin, dpi);
  const int buttonWidth = scaleForDpi(kLogButtonWidth, dpi);
  const int buttonHeight = scaleForDpi(kLogButtonHeight, dpi);
  const int buttonTop = height - scaleForDpi(kButtonBottomOffset, dpi);
  SetWindowPos(exitButton, nullptr, margin, buttonTop, buttonWidth, buttonHeight, SWP_NOZORDER);
  SetWindowPos(collapseButton, nullptr, width - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight,
               SWP_NOZORDER);
  SetWindowPos(journalEdit, nullptr, 0, 0, width, height - scaleForDpi(kButtonBand, dpi), SWP_NOZORDER);
}

void Application::applyLogWindowDpi(UINT dpi) {
  if (!logWindow) return;
  logWindowDpi = dpi;
  HFONT oldJournalFont = journalFont;
  HFONT oldButtonFont = logButtonFont;
  journalFont =
      CreateFontW(scaleForDpi(kJournalFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                  OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH, L"Arial");
  LOGFONTW buttonFace{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof buttonFace, &buttonFace);
  buttonFace.lfHeight = scaleForDpi(kButtonFontHeight, dpi);
  buttonFace.lfWidth = 0;
  logButtonFont = CreateFontIndirectW(&buttonFace);
  if (journalEdit) SendMessageW(journalEdit, WM_SETFONT, reinterpret_cast<WPARAM>(journalFont), TRUE);
  for (HWND button : {exitButton, collapseButton}) {
    if (button) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(logButtonFont), TRUE);
  }
  // The controls hold the new fonts now; the old ones can go.
  deleteFont(oldJournalFont);
  deleteFont(oldButtonFont);

  // A missing icon resource leaves the window with the default icon.
  HINSTANCE module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(logWindow, GWLP_HINSTANCE));
  HICON big = loadIconOfSize(module, kAppIconId, bigIconSize(dpi));
  HICON small = loadIconOfSize(module, kAppIconId, smallIconSize(dpi));
  if (big) {
    SendMessageW(logWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    destroyIcon(logWindowBigIcon);
    logWindowBigIcon = big;
  }
  if (small) {
    SendMessageW(logWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    destroyIcon(logWindowSmallIcon);
    logWindowSmallIcon = small;
  }
}

void Application::onLogWindowDpiChanged(WPARAM wParam, LPARAM lParam) {
  UINT dpi = LOWORD(wParam);
  // No monitor has such a DPI: trust what the system says of the window instead.
  if (!usableDpi(dpi)) dpi = windowDpi(logWindow);
  applyLogWindowDpi(dpi);
  // The suggested rectangle keeps the window's size in proportion on its new monitor; one that
  // lies on no monitor leaves the window where it is.
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  if (usableSuggestedRect(suggested)) {
    SetWindowPos(logWindow, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  layoutLogWindow();
}

void Application::releaseLogWindowDrawing() {
  deleteFont(journalFont);
  deleteFont(logButtonFont);
  destroyIcon(logWindowBigIcon);
  destroyIcon(logWindowSmallIcon);
}

void Application::showLogWindow(bool show, bool activate) {
  if (!logWindow) return;
  logWindowVisible = show;
  if (show) {
    layoutLogWindow();
    if (!activate) {
      ShowWindow(logWindow, SW_SHOWNOACTIVATE);
      return;
    }
    ShowWindow(logWindow, IsIconic(logWindow) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(logWindow);
  } else {
    ShowWindow(logWindow, SW_HIDE);
  }
}

void Application::hideLogWindow() {
  if (!logWindow) return;
  logWindowVisible = false;
  // Without the tray icon nothing would bring a hidden window back; its taskbar button does.
  ShowWindow(logWindow, trayAdded ? SW_HIDE : SW_MINIMIZE);
}

LRESULT Application::handleLogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      layoutLogWindow();
      return 0;
    case WM_CLOSE:
      hideLogWindow();
      return 0;
    case WM_DPICHANGED:
      onLogWindowDpiChanged(wParam, lParam);
      return 0;
    case WM_SETFOCUS:
      // Ctrl+A and Ctrl+C work as soon as the window is active.
      if (journalEdit) SetFocus(journalEdit);
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == journalEdit) {
        showJournalMenu(lParam);
        return 0;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == journalEdit && header->code == EN_MSGFILTER) {
        return onJournalKey(*reinterpret_cast<const MSGFILTER*>(lParam));
      }
      break;
    }
    case WM_NCDESTROY:
      releaseLogWindowDrawing();
      break;
    case WM_COMMAND:
      if (onJournalCommand(LOWORD(wParam))) return 0;
      if (LOWORD(wParam) == IDC_LOG_EXIT) {
        exitFromLogWindow();
        return 0;
      }
      if (LOWORD(wParam) == IDC_LOG_COLLAPSE) {
        hideLogWindow();
        return 0;
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK logWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  auto* application = reinterpret_cast<Application*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!application) return DefWindowProcW(window, message, wParam, lParam);
  return application->handleLogMessage(window, message, wParam, lParam);
}
