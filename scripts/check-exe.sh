#!/usr/bin/env bash
# Checks the shipped executable: PE32 GUI program, only the system's known DLLs imported, the
# manifest's and the icon's entries, no larger than it needs to be.
set -euo pipefail
exe=$1
objdump=i686-w64-mingw32-objdump
# Raised from 450000 when icon 101 gained its seven other sizes (about 12 KB) and the Journal its
# DPI scaling, copy and save; back to that when reports learned to name a crash's cause, the DLLs
# a server misses (its import tables read) and the web server's own error log.
max_bytes=480000
fail() { echo "check-exe: $*" >&2; exit 1; }
headers=$($objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "$exe is not a 32-bit PE file"
grep -qE '^Subsystem\s+0*2\b' <<<"$headers" || fail "$exe is not a Windows GUI program"
# The loader looks for an imported DLL in the program folder first, before wWinMain runs, unless
# it is one of the system's known DLLs; so only those may be imported. comctl32 is no known DLL:
# only a manifest asking for Common-Controls version 6 makes the loader take it from the
# side-by-side store instead.
# The manifest and the icon are read from the executable itself, as Windows reads them.
resources() { python3 "$(dirname "$0")/pe_resources.py" "$exe" "$@"; }
manifest=$(resources manifest | tr '\n' ' ') || fail "$exe has no manifest"
comctl6=no
identities=$(grep -o '<assemblyIdentity[^>]*>' <<<"$manifest" || true)
while read -r identity; do
  if [[ $identity == *'"Microsoft.Windows.Common-Controls"'* && $identity == *'version="6.'* ]]; then comctl6=yes; fi
done <<<"$identities"
dlls=$(grep 'DLL Name' <<<"$headers" | awk '{print tolower($3)}' | sort -u | tr '\n' ' ')
for dll in $dlls; do
  case $dll in
    kernel32.dll|user32.dll|gdi32.dll|shell32.dll|msvcrt.dll|ws2_32.dll|advapi32.dll|ole32.dll|comdlg32.dll|shlwapi.dll) ;;
    comctl32.dll)
      [ "$comctl6" = yes ] ||
        fail "$exe imports comctl32.dll, but the manifest asks for no Common-Controls version 6: a copy in the program folder would be loaded"
      ;;
    *) fail "$exe imports $dll, which is not one of the system's known DLLs: a copy in the program folder would be loaded" ;;
  esac
done
# The manifest: no elevation; the system's current look; per-monitor DPI awareness with the
# fallbacks older Windows understand; every Windows the program is written for.
has() { grep -qiE "$1" <<<"$manifest" || fail "the manifest of $exe lacks $2"; }
has 'requestedExecutionLevel level="asInvoker"' 'the asInvoker execution level'
[ "$comctl6" = yes ] || fail "the manifest of $exe asks for no Common-Controls version 6"
has '<dpiAwareness[^>]*>[[:space:]]*PerMonitorV2[[:space:]]*,[[:space:]]*PerMonitor[[:space:]]*</dpiAwareness>' \
  'dpiAwareness "PerMonitorV2, PerMonitor"'
has '<dpiAware[^>]*>[[:space:]]*true/pm[[:space:]]*</dpiAware>' 'dpiAware "true/pm" (per monitor on 8.1, system DPI before)'
for os in '35138b9a-5d96-4fbd-8e2d-a2440225f93a Windows 7' '4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 Windows 8' \
  '1f676c76-80e1-4239-95bb-83d0f6d0da78 Windows 8.1' '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a Windows 10 and 11'; do
  has "<supportedOS Id=\"\\{${os%% *}\\}\"" "the supportedOS entry of ${os#* }"
done
# Icon 101: an image drawn for each size from 100 % to 400 % display scale, all with alpha; the
# 64x64 one a bitmap, as it always was (the others may be PNG).
icon=$(resources icon 101) || fail "$exe has no icon 101"
sizes=$(awk '{print $1 "x" $2}' <<<"$icon" | sort -n | tr '\n' ' ')
[ "$sizes" = "16x16 20x20 24x24 32x32 40x40 48x48 64x64 256x256 " ] ||
  fail "icon 101 of $exe has the images $sizes, not 16 20 24 32 40 48 64 256"
awk '$3 != 32 {exit 1}' <<<"$icon" || fail "icon 101 of $exe has an image that is not 32-bit"
grep -qx '64 64 32 bmp' <<<"$icon" || fail "icon 101 of $exe has no 64x64 32-bit bitmap"
echo "check-exe: manifest and icon 101 ($sizes) as they should be"
size=$(stat -c %s "$exe")
echo "check-exe: $exe is $size bytes (at most $max_bytes)"
[ "$size" -le "$max_bytes" ] || fail "$exe is $size bytes, more than $max_bytes: is it stripped?"
echo "check-exe: $exe is a 32-bit GUI program importing only: $dlls"
