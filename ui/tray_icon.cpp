#include "ui/tray_icon.h"

#include "app/application.h"
#include "app/control_window.h"
#include "win/handles.h"

bool TrayIcon::addTrayIcon(HWND owner, HICON icon, UINT callbackMessage, const std::wstring& tip) {
  removeTrayIcon();
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

bool TrayIcon::readdTrayIcon() {
  if (!iconData.hWnd) return false;
  // A modify first: an add that timed out may still have reached the shell, which then refuses a
  // second one; a new shell holds no icon of ours and refuses the modify instead.
  added = Shell_NotifyIconW(NIM_MODIFY, &iconData) != FALSE || Shell_NotifyIconW(NIM_ADD, &iconData) != FALSE;
  return added;
}

void TrayIcon::removeTrayIcon() {
  if (!added) return;
  iconData.uFlags = 0;
  Shell_NotifyIconW(NIM_DELETE, &iconData);
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

void TrayIcon::showTrayMenu(HMENU menu) {
  if (!menu) return;
  POINT cursor = {0, 0};
  GetCursorPos(&cursor);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(iconData.hWnd);
  TrackPopupMenu(menu, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, iconData.hWnd, nullptr);
  PostMessageW(iconData.hWnd, WM_NULL, 0, 0);
}

bool Application::addTrayIcon() {
  trayIconWanted = true;
  trayAdded = tray.addTrayIcon(controlWindow, trayIconHandle, WM_TRAYICON, kTrayTip);
  // No taskbar yet (a start at logon) or a busy shell: keep trying until it takes the icon.
  if (!trayAdded && controlWindow) SetTimer(controlWindow, TIMER_TRAY_RETRY, kTrayRetryPeriodMs, nullptr);
  return trayAdded;
}

void Application::releaseTrayAndMenu() {
  trayIconWanted = false;
  if (controlWindow) KillTimer(controlWindow, TIMER_TRAY_RETRY);
  if (trayAdded) {
    tray.removeTrayIcon();
    trayAdded = false;
  }
  destroyMenu(trayMenu);
  destroyIcon(trayIconHandle);
}

void Application::restoreTrayIcon() {
  if (!trayIconWanted) return;
  bool wasAdded = trayAdded;
  trayAdded = tray.readdTrayIcon();
  if (trayAdded) {
    if (controlWindow) KillTimer(controlWindow, TIMER_TRAY_RETRY);
    return;
  }
  if (controlWindow) SetTimer(controlWindow, TIMER_TRAY_RETRY, kTrayRetryPeriodMs, nullptr);
  if (!wasAdded) return;
  // The icon is the only way back to a hidden Launcher: fall back to the log window.
  appendJournal(L"ОШИБКА: Не удалось создать иконку в трее.", true, false);
  showLogWindow(true);
}
