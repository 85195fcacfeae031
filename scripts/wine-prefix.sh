#!/usr/bin/env bash
# wine-prefix.sh up|down PREFIX [LOADER [BIN_DIR]]
#   up:   makes a fresh prefix, keeps one persistent wineserver for it and sets it up for tests
#         (WENDLOR_WINE_DESKTOP=WxH in the environment: a virtual desktop of that size;
#         WENDLOR_WINE_DPI=N: a display of N DPI)
#   down: ends every process of the prefix and its wineserver
set -u
action=$1 prefix=$2 loader=${3:-wine} bindir=${4:-}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=${LANG:-C.UTF-8}
case "$(basename "$loader")" in
  wine64*) export WINEARCH=win64 ;;
  *) export WINEARCH=win32 ;;
esac

case "$action" in
up)
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
  mkdir -p "$prefix"
  # Everything Wine starts for the prefix inherits these descriptors: /dev/null, never a
  # pipe that a test runner would then wait on.
  boot() {
    wineserver -p </dev/null >/dev/null 2>&1
    "$loader" wineboot -i </dev/null >/dev/null 2>&1
  }
  # A server of an earlier run that is still going away can make the first boot fail.
  if ! boot; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    boot || { echo "wineboot failed" >&2; exit 1; }
  fi
  reg() { "$loader" reg add "$@" /f </dev/null >/dev/null 2>&1; }
  # Without a window manager every hide of a visible window stalls for 2 s; unmanaged windows do not.
  reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
  # A crash must end the test with an exit code, not wait on winedbg's dialog.
  reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  if [ -n "${WENDLOR_WINE_DESKTOP:-}" ]; then
    # Programs then run inside one virtual desktop window of that size, with a taskbar for the
    # tray icons (the demo's picture shows both).
    reg 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
    reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$WENDLOR_WINE_DESKTOP"
  fi
  if [ -n "${WENDLOR_WINE_DPI:-}" ]; then
    # The display scale programs started in the prefix see (96 = 100 %); read at each start.
    reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$WENDLOR_WINE_DPI"
  fi
  if [ -n "$bindir" ] && [ -f "$bindir/url_recorder.exe" ]; then
    # The browser of the test prefix: records each address it is asked to open.
    win="Z:$(printf '%s' "$bindir/url_recorder.exe" | tr '/' '\\')"
    reg 'HKLM\Software\Classes\http\shell\open\command' /ve /d "\"$win\" \"%1\""
  fi
  if [ -n "$bindir" ] && [ -f "$bindir/fake_subst.exe" ]; then
    # Wine's own subst does nothing; the prefix's system subst records what it was asked instead
    # (Wine runs its built-in one unless told to prefer the file).
    cp "$bindir/fake_subst.exe" "$prefix/drive_c/windows/system32/subst.exe"
    reg 'HKCU\Software\Wine\DllOverrides' /v subst.exe /d native
  fi
  # Restart the prefix's services so the desktop and its tray read these settings too (the tray
  # otherwise stalls 2 s on every icon removal).
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
  "$loader" wineboot </dev/null >/dev/null 2>&1 || true
  echo "wine prefix ready: $prefix ($WINEARCH)"
  ;;
down)
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  echo "wine prefix stopped: $prefix"
  ;;
*) echo "usage: $0 up|down PREFIX [LOADER [BIN_DIR]]" >&2; exit 2 ;;
esac
