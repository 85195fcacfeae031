# Shared by test.sh and demo.sh: the build folders, the Wine loader, a display.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
JOBS=${JOBS:-$(nproc)}

# The program ships as a 32-bit executable. It runs under Wine's 32-bit loader, which needs a
# kernel that executes 32-bit code; some machines (virtual ones among them) cannot, and there
# the same sources are built and tested as a 64-bit program instead.
choose_test_arch() {
  if [ -n "${WENDLOR_TEST_ARCH:-}" ]; then
    TEST_ARCH=$WENDLOR_TEST_ARCH
  elif [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    TEST_ARCH=i686
  else
    TEST_ARCH=x86_64
  fi
  TEST_BUILD=$ROOT/build/$TEST_ARCH
}

configure_and_build() {  # toolchain (a file of cmake/, without .cmake) build-dir [extra cmake args...]
  local toolchain=$1 dir=$2
  shift 2
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DGTEST_SOURCE_DIR=/usr/src/googletest -DWENDLOR_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

XVFB_PID=""
ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local number
  read -r -t 20 number <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
  echo "started Xvfb on $DISPLAY"
}

stop_display() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}
