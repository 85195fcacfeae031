#!/usr/bin/env bash
# Checks the shipped executable: PE32 GUI program, only system DLLs imported, no larger than it
# needs to be.
set -euo pipefail
exe=$1
objdump=i686-w64-mingw32-objdump
max_bytes=450000
fail() { echo "check-exe: $*" >&2; exit 1; }
headers=$($objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "$exe is not a 32-bit PE file"
grep -qE '^Subsystem\s+0*2\b' <<<"$headers" || fail "$exe is not a Windows GUI program"
dlls=$(grep 'DLL Name' <<<"$headers" | awk '{print tolower($3)}' | sort -u | tr '\n' ' ')
for dll in $dlls; do
  case $dll in
    kernel32.dll|user32.dll|gdi32.dll|shell32.dll|msvcrt.dll|advapi32.dll|comctl32.dll|ws2_32.dll|iphlpapi.dll) ;;
    *) fail "$exe imports $dll, which is not a system DLL" ;;
  esac
done
size=$(stat -c %s "$exe")
echo "check-exe: $exe is $size bytes (at most $max_bytes)"
[ "$size" -le "$max_bytes" ] || fail "$exe is $size bytes, more than $max_bytes: is it stripped?"
echo "check-exe: $exe is a 32-bit GUI program importing only: $dlls"
