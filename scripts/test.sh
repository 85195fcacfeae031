#!/usr/bin/env bash
# Sets up the machine, builds the program and runs the whole test suite under Wine, then builds
# the same sources with a second compiler.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$ROOT/scripts/setup.sh"
choose_test_arch

# The program as it ships: 32-bit, self-contained, no warnings.
echo "== building the 32-bit program"
configure_and_build mingw-i686 "$ROOT/build/i686"
bash "$ROOT/scripts/check-exe.sh" "$ROOT/build/i686/bin/wendlor.exe"
bash "$ROOT/scripts/check-layers.sh"

if [ "$TEST_ARCH" != i686 ]; then
  echo "== this machine cannot run 32-bit code: testing a 64-bit build of the same sources"
  configure_and_build "mingw-$TEST_ARCH" "$TEST_BUILD"
fi

trap 'stop_display' EXIT
ensure_display
echo "== running the tests ($TEST_ARCH)"
tests_passed=1
(cd "$TEST_BUILD" && ctest --output-on-failure -j "$JOBS" --timeout 120 "$@") || tests_passed=0
stop_display

# After the tests, so its compile load never slows a timed test. Code that only GCC accepts, or
# that clang warns about, fails here; nothing of this build runs.
echo "== building the 32-bit program and the tests with clang (build only)"
clang_log=$ROOT/build/clang-i686.log
if configure_and_build clang-i686 "$ROOT/build/clang-i686" >"$clang_log" 2>&1; then
  echo "clang build: no warnings in our code (full output: $clang_log)"
else
  grep -E 'error|warning:' "$clang_log" | grep -v 'duplicate section' | head -40 >&2 || true
  echo "clang build failed (full output: $clang_log)" >&2
  exit 1
fi

[ "$tests_passed" = 1 ] || { echo "some tests failed" >&2; exit 1; }
