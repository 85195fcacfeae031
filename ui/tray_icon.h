#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The full structure, balloon and GUID fields included, as the shell of every supported
// Windows expects it from a 32-bit program.
#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAW) == 956, "NOTIFYICONDATAW must be the full 956-byte structure");
#endif

constexpr wchar_t kTrayTip[] = L"ZEM Wendlor";
constexpr UINT kTrayIconId = 1;
constexpr UINT kTrayIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
// The shell broadcasts this registered message when it (re)creates the taskbar.
constexpr wchar_t kTaskbarCreatedMessageName[] = L"TaskbarCreated";

// The Launcher's one icon in the notification area.
struct TrayIcon {
  NOTIFYICONDATAW iconData{};
  bool added = false;
  // The last balloon the shell took, as it was asked for: the only record of what it told the user.
  std::wstring balloonTitle, balloonText;

  TrayIcon() = default;
  ~TrayIcon() { removeTrayIcon(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Replaces an icon added earlier; true when the shell took the new one.
  bool addTrayIcon(HWND owner, HICON icon, UINT callbackMessage, const std::wstring& tip);
  // Adds the icon that addTrayIcon set up again, whether that add failed or the shell lost it
  // since; false when none was set up or the shell refused.
  bool readdTrayIcon();
  void removeTrayIcon();
  // An error balloon over the icon; false when the icon is not there or the shell refused.
  bool showBalloon(const std::wstring& title, const std::wstring& text);
  void showTrayMenu(HMENU menu);
};
