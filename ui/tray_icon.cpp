#include "ui/tray_icon.h"

#include "app/application.h"
#include "app/handles.h"

bool TrayIcon::addTrayIcon(HWND owner, HICON icon, UINT callbackMessage, const std::wstring& tip) {
  if (added) {
    iconData.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &iconData);
    added = false;
  }
  iconData = NOTIFYICONDATAW{};
  iconData.cbSize = sizeof(NOTIFYICONDATAW);
  iconData.hWnd = owner;
  iconData.uID = kTrayIconId;
  iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  iconData.uCallbackMessage = callbackMessage;
  iconData.hIcon = icon;
  lstrcpynW(iconData.szTip, tip.c_str(), ARRAYSIZE(iconData.szTip));
  added = Shell_NotifyIconW(NIM_ADD, &iconData) != FALSE;
  return added;
}

void TrayIcon::removeTrayIcon() {
  if (!added) return;
  iconData.uFlags = 0;
  Shell_NotifyIconW(NIM_DELETE, &iconData);
  added = false;
}

void TrayIcon::showTrayMenu(HMENU menu) {
  if (!menu) return;
  POINT cursor = {0, 0};
  GetCursorPos(&cursor);
  SetForegroundWindow(iconData.hWnd);
  TrackPopupMenu(menu, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, iconData.hWnd, nullptr);
  PostMessageW(iconData.hWnd, WM_NULL, 0, 0);
}

void Application::releaseTrayAndMenu() {
  if (trayAdded) {
    tray.removeTrayIcon();
    trayAdded = false;
  }
  destroyMenu(trayMenu);
  destroyIcon(trayIconHandle);
}
