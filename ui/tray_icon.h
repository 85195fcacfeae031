#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The Launcher's one icon in the notification area.
struct TrayIcon {
  NOTIFYICONDATAW iconData{};
  bool added = false;

  TrayIcon() = default;
  ~TrayIcon() { removeTrayIcon(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  bool addTrayIcon(HWND owner, HICON icon, UINT callbackMessage, const std::wstring& tip);
  void removeTrayIcon();
  void showTrayMenu(HMENU menu);
};

constexpr wchar_t kTrayTip[] = L"ZEM Wendlor";
constexpr UINT kTrayIconId = 1;
