#include "ui/journal_menu.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/application.h"
#include "win/handles.h"
#include "win/system_error.h"

namespace {

constexpr wchar_t kSaveFilter[] = L"Текстовые файлы (*.txt)\0*.txt\0Все файлы (*.*)\0*.*\0";
constexpr wchar_t kSaveFailedPrefix[] = L"ОШИБКА: Не удалось сохранить журнал: ";
constexpr wchar_t kCopyFailedPrefix[] = L"ОШИБКА: Не удалось скопировать текст журнала: ";

}  // namespace

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

std::wstring Application::journalText(bool selectionOnly) const {
  if (!journalEdit) return std::wstring();
  GETTEXTLENGTHEX lengthQuery = {GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200};
  LRESULT length = SendMessageW(journalEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0);
  if (length <= 0) return std::wstring();
  // Room for every character and its line break twice over, whatever the control counts.
  std::vector<wchar_t> buffer(static_cast<size_t>(length) * 2 + 1, L'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  query.flags = GT_USECRLF | (selectionOnly ? GT_SELECTION : 0);
  query.codepage = 1200;
  LRESULT got = SendMessageW(journalEdit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                             reinterpret_cast<LPARAM>(buffer.data()));
  if (got <= 0) return std::wstring();
  return std::wstring(buffer.data(), std::min<size_t>(static_cast<size_t>(got), buffer.size() - 1));
}

bool Application::copyJournalSelection() {
  if (!journalEdit) return false;
  CHARRANGE selection{};
  SendMessageW(journalEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  if (selection.cpMin == selection.cpMax) return true;  // nothing selected, nothing to copy
  DWORD error = 0;
  if (putOnClipboard(logWindow, journalText(true), &error)) return true;
  appendJournal(kCopyFailedPrefix + formatSystemError(error), true, false);
  return false;
}

void Application::selectAllJournal() {
  if (!journalEdit) return;
  SendMessageW(journalEdit, EM_SETSEL, 0, -1);
  // A rich edit shows its selection only while it has the focus.
  SetFocus(journalEdit);
}

void Application::saveJournal() {
  if (!journalEdit) return;
  std::vector<wchar_t> path(kSavePathCapacity, L'\0');
  lstrcpynW(path.data(), kJournalFileName, static_cast<int>(path.size()));
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = logWindow;
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
      appendJournal(std::wstring(kSaveFailedPrefix) + L"CommDlgExtendedError " + std::to_wstring(failure), true, false);
    return;
  }
  DWORD error = 0;
  if (!writeJournalFile(path.data(), journalFileBytes(journalText(false)), &error)) {
    appendJournal(kSaveFailedPrefix + formatSystemError(error), true, false);
  }
}

void Application::showJournalMenu(LPARAM screenPoint) {
  if (!journalEdit) return;
  POINT at = {GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
  if (at.x == -1 && at.y == -1) {
    // From the keyboard (Shift+F10, the menu key): at the Journal's top-left corner.
    RECT edit{};
    GetWindowRect(journalEdit, &edit);
    at = {edit.left, edit.top};
  }
  CHARRANGE selection{};
  SendMessageW(journalEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  AppendMenuW(menu, MF_STRING | (selection.cpMin == selection.cpMax ? MF_GRAYED : 0), IDM_JOURNAL_COPY, L"Копировать");
  AppendMenuW(menu, MF_STRING, IDM_JOURNAL_SELECT_ALL, L"Выделить всё");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_JOURNAL_SAVE, L"Сохранить журнал...");
  // The chosen item arrives as WM_COMMAND once the menu has closed.
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, logWindow, nullptr);
  destroyMenu(menu);
}

bool Application::onJournalCommand(WORD command) {
  switch (command) {
    case IDM_JOURNAL_COPY:
      copyJournalSelection();
      return true;
    case IDM_JOURNAL_SELECT_ALL:
      selectAllJournal();
      return true;
    case IDM_JOURNAL_SAVE:
      saveJournal();
      return true;
  }
  return false;
}

LRESULT Application::onJournalKey(const MSGFILTER& filter) {
  if (filter.msg != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0) return 0;
  if (filter.wParam == 'C' || filter.wParam == VK_INSERT) {
    copyJournalSelection();
    return 1;
  }
  if (filter.wParam == 'A') {
    selectAllJournal();
    return 1;
  }
  return 0;
}
