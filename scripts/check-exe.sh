#!/usr/bin/env bash
# Checks the shipped executable: PE32 GUI program, only the system's known DLLs imported, no
# larger than it needs to be.
set -euo pipefail
exe=$1
objdump=i686-w64-mingw32-objdump
max_bytes=450000
fail() { echo "check-exe: $*" >&2; exit 1; }
headers=$($objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "$exe is not a 32-bit PE file"
grep -qE '^Subsystem\s+0*2\b' <<<"$headers" || fail "$exe is not a Windows GUI program"
# The loader looks for an imported DLL in the program folder first, before wWinMain runs, unless
# it is one of the system's known DLLs; so only those may be imported. comctl32 is no known DLL:
# only a manifest asking for Common-Controls version 6 makes the loader take it from the
# side-by-side store instead.
manifest=$(dirname "$0")/../resources/wendlor.manifest
[ -f "$manifest" ] || fail "no manifest at $manifest"
comctl6=no
identities=$(tr '\n' ' ' <"$manifest" | grep -o '<assemblyIdentity[^>]*>' || true)
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
size=$(stat -c %s "$exe")
echo "check-exe: $exe is $size bytes (at most $max_bytes)"
[ "$size" -le "$max_bytes" ] || fail "$exe is $size bytes, more than $max_bytes: is it stripped?"
echo "check-exe: $exe is a 32-bit GUI program importing only: $dlls"
