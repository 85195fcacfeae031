#include "ui/tray_icon.h"

#include "win/handles.h"

bool TrayIcon::add(HWND owner, HICON newIcon, UINT callbackMessage, const std::wstring& tip) {
  remove();
  if (icon != newIcon) destroyIcon(icon);
  icon = newIcon;
  wanted = true;
  iconData = NOTIFYICONDATAW{};
  iconData.hWnd = owner;
  iconData.uCallbackMessage = callbackMessage;
  iconData.hIcon = icon;
  iconData.cbSize = sizeof(NOTIFYICONDATAW);
  iconData.uID = kTrayIconId;
  iconData.uFlags = kTrayIconFlags;
  // lstrcpynW's limit counts the terminating NUL: at most 127 characters of tip.
  lstrcpynW(iconData.szTip, tip.c_str(), ARRAYSIZE(iconData.szTip));
  added = Shell_NotifyIconW(NIM_ADD, &iconData) != FALSE;
  return added;
}

bool TrayIcon::readd() {
  if (!iconData.hWnd) return false;
  // A modify first: an add that timed out may still have reached the shell, which then refuses a
  // second one; a new shell holds no icon of ours and refuses the modify instead.
  added = Shell_NotifyIconW(NIM_MODIFY, &iconData) != FALSE || Shell_NotifyIconW(NIM_ADD, &iconData) != FALSE;
  return added;
}

void TrayIcon::remove() {
  if (!added) return;
  NOTIFYICONDATAW gone = iconData;
  gone.uFlags = 0;
  Shell_NotifyIconW(NIM_DELETE, &gone);
  added = false;
}

bool TrayIcon::showBalloon(const std::wstring& title, const std::wstring& text) {
  if (!added) return false;
  NOTIFYICONDATAW balloon = iconData;
  balloon.uFlags = NIF_INFO;
  balloon.dwInfoFlags = NIIF_ERROR;
  lstrcpynW(balloon.szInfoTitle, title.c_str(), ARRAYSIZE(balloon.szInfoTitle));
  lstrcpynW(balloon.szInfo, text.c_str(), ARRAYSIZE(balloon.szInfo));
  if (!Shell_NotifyIconW(NIM_MODIFY, &balloon)) return false;
  balloonTitle = title;
  balloonText = text;
  return true;
}

bool TrayIcon::buildMenu(const TrayServerItem* items, size_t count) {
  destroyMenu(menu);
  serverItems.assign(items, items + count);
  menu = CreatePopupMenu();
  if (!menu) return false;
  AppendMenuW(menu, MF_STRING, kTrayToggleCommand, L"Показать/Скрыть");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  for (const TrayServerItem& item : serverItems) {
    if (item.shown) AppendMenuW(menu, MF_STRING, item.command, item.restartLabel);
  }
  AppendMenuW(menu, MF_STRING, kTrayAboutCommand, L"О программе...");
  AppendMenuW(menu, MF_STRING, kTrayExitCommand, L"Выход");
  return true;
}

void TrayIcon::showMenu(bool windowsVisible, const TrayServerState* states, size_t count) {
  if (!menu) return;
  const wchar_t* label = windowsVisible ? L"Скрыть окна процесса" : L"Показать окна процесса";
  ModifyMenuW(menu, kTrayToggleCommand, MF_BYCOMMAND | MF_STRING, kTrayToggleCommand, label);
  // "Перезапустить" for a running server, "Запустить" for one that is not; greyed while a request
  // would change nothing.
  for (size_t i = 0; i < count; ++i) {
    const TrayServerState& state = states[i];
    for (const TrayServerItem& item : serverItems) {
      if (item.command != state.command || !item.shown) continue;
      UINT flags = MF_BYCOMMAND | MF_STRING | (state.busy ? MF_GRAYED : MF_ENABLED);
      ModifyMenuW(menu, item.command, flags, item.command, state.running ? item.restartLabel : item.startLabel);
    }
  }
  POINT cursor = {0, 0};
  GetCursorPos(&cursor);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(iconData.hWnd);
  TrackPopupMenu(menu, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, iconData.hWnd, nullptr);
  PostMessageW(iconData.hWnd, WM_NULL, 0, 0);
}

void TrayIcon::release() {
  wanted = false;
  remove();
  destroyMenu(menu);
  destroyIcon(icon);
  iconData.hIcon = nullptr;
}
