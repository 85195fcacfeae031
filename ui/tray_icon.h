#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

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

// The commands of the menu's fixed items; other programs send them too.
constexpr UINT kTrayToggleCommand = 1001;
constexpr UINT kTrayExitCommand = 1003;
constexpr UINT kTrayAboutCommand = 1004;

// A server's item in the tray menu. The labels are literals: the menu keeps them for relabelling.
struct TrayServerItem {
  UINT command;
  const wchar_t* restartLabel;
  const wchar_t* startLabel;
  bool shown;
};
// What a server's item says when the menu opens.
struct TrayServerState {
  UINT command;
  bool running;
  bool busy;
};

// The Launcher's one icon in the notification area, and its menu.
struct TrayIcon {
  NOTIFYICONDATAW iconData{};
  // The shell holds the icon.
  bool added = false;
  // From the first add until the icon is given back; meanwhile an icon the shell does not hold is
  // to be added again.
  bool wanted = false;
  HMENU menu = nullptr;
  // The icon shown, owned here.
  HICON icon = nullptr;
  // Registered "TaskbarCreated": the shell restarted and forgot the icon.
  UINT taskbarCreatedMessage = 0;
  // The last balloon the shell took, as it was asked for: the only record of what it told the user.
  std::wstring balloonTitle, balloonText;
  std::vector<TrayServerItem> serverItems;

  TrayIcon() = default;
  ~TrayIcon() { release(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Takes icon, replacing an icon added earlier; true when the shell took the new one.
  bool add(HWND owner, HICON icon, UINT callbackMessage, const std::wstring& tip);
  // Adds the icon that add set up again, whether that add failed or the shell lost it since;
  // false when none was set up or the shell refused.
  bool readd();
  void remove();
  // An error balloon over the icon; false when the icon is not there or the shell refused.
  bool showBalloon(const std::wstring& title, const std::wstring& text);
  // "Показать/Скрыть", a separator, the shown server items, "О программе...", "Выход".
  bool buildMenu(const TrayServerItem* items, size_t count);
  // Relabels the toggle item and each server item ("Запустить…" for one not running, greyed while
  // busy), then shows the menu at the cursor until it closes.
  void showMenu(bool windowsVisible, const TrayServerState* states, size_t count);
  // Gives the icon back and frees the menu and the icon.
  void release();
};
