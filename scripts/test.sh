#!/usr/bin/env bash
# Sets up the machine, builds the program and runs the whole test suite under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$ROOT/scripts/setup.sh"
choose_test_arch

# The program as it ships: 32-bit, self-contained, no warnings.
echo "== building the 32-bit program"
configure_and_build i686 "$ROOT/build/i686"
bash "$ROOT/scripts/check-exe.sh" "$ROOT/build/i686/bin/wendlor.exe"

if [ "$TEST_ARCH" != i686 ]; then
  echo "== this machine cannot run 32-bit code: testing a 64-bit build of the same sources"
  configure_and_build "$TEST_ARCH" "$TEST_BUILD"
fi

trap 'stop_display' EXIT
ensure_display
echo "== running the tests ($TEST_ARCH)"
cd "$TEST_BUILD"
ctest --output-on-failure -j "$JOBS" --timeout 120 "$@"
