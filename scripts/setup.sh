#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need from Debian's packages.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

# wine32 runs the 32-bit program where the kernel can execute 32-bit code; wine64 and the
# x86_64 compilers let the same sources be tested as a 64-bit build where it cannot.
# clang is the second compiler of the test script; it links through GCC's driver, so no lld.
need=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix cmake make xvfb xauth x11-utils
      wine wine64 wine32:i386 googletest imagemagick python3 clang)

missing=()
for p in "${need[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}" >&2
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
