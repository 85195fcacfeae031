#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine; each prints its measure as a ratio to a baseline
# measured in the same run.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$ROOT/scripts/setup.sh"
choose_test_arch
configure_and_build "mingw-$TEST_ARCH" "$TEST_BUILD" >/dev/null
export WINEPREFIX=$TEST_BUILD/bench-prefix
LOADER=$(grep -E '^WINE_LOADER:' "$TEST_BUILD/CMakeCache.txt" | cut -d= -f2)
trap 'bash "$ROOT/scripts/wine-prefix.sh" down "$WINEPREFIX" "$LOADER" >/dev/null; stop_display' EXIT
ensure_display
bash "$ROOT/scripts/wine-prefix.sh" up "$WINEPREFIX" "$LOADER" "$TEST_BUILD/bin" >/dev/null
cd "$TEST_BUILD/bin"
for bench in "$ROOT"/bench/*.cpp; do
  name=$(basename "$bench" .cpp)
  echo "== $name"
  "$LOADER" "./$name.exe" | tr -d '\r'
done
