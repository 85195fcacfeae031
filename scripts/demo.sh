#!/usr/bin/env bash
# Sets up the machine, builds the Launcher, lays out a demo program folder and runs it there.
# With a DISPLAY the Launcher stays on screen until you end it (tray menu "Выход" or the
# Journal's "Выход" button). Without one, a virtual display is started, a screenshot is saved
# after a few seconds and the Launcher is ended.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$ROOT/scripts/setup.sh"
choose_test_arch
echo "== building ($TEST_ARCH)"
configure_and_build "mingw-$TEST_ARCH" "$TEST_BUILD"
BIN=$TEST_BUILD/bin

DEMO=$ROOT/build/demo
rm -rf "$DEMO"
mkdir -p "$DEMO/www" "$DEMO/db"
cp "$BIN/wendlor.exe" "$DEMO/"
# Stand-in servers: the test fixture plays the web server and the database.
if [ -f "$BIN/fake_server.exe" ]; then
  cp "$BIN/fake_server.exe" "$DEMO/httpd.exe"
  cp "$BIN/fake_server.exe" "$DEMO/mysqld.exe"
fi
cat >"$DEMO/wendlor.ini" <<'INI'
; Demo settings: the stand-in servers run until the Launcher stops them.
[wendlor]
WebServer = httpd.exe --stdout "Demo web server is up\r\n"
WebServerDirectory = www
MysqlServer = mysqld.exe
MysqlServerDirectory = db
StartHidden = yes
CheckIntervalMs = 1000
OpenBrowser = no
INI

export WINEPREFIX=$ROOT/build/demo-prefix
LOADER=$(grep -E '^WINE_LOADER:' "$TEST_BUILD/CMakeCache.txt" | cut -d= -f2)
headless=0
[ -z "${DISPLAY:-}" ] && headless=1
trap 'wineserver -k >/dev/null 2>&1 || true; stop_display' EXIT
ensure_display
bash "$ROOT/scripts/wine-prefix.sh" up "$WINEPREFIX" "$LOADER" "$BIN" >/dev/null

echo "== running the Launcher in $DEMO"
cd "$DEMO"
if [ "$headless" = 0 ]; then
  "$LOADER" "$DEMO/wendlor.exe"
  echo "Launcher ended with exit code $?"
else
  "$LOADER" "$DEMO/wendlor.exe" &
  pid=$!
  # Give the servers time to start and the Journal time to fill.
  for _ in $(seq 1 50); do
    xwininfo -root -tree 2>/dev/null | grep -q 'журнал работы программы' && break
    sleep 0.2
  done
  sleep 3
  import -window root "$DEMO/screenshot.png"
  echo "screenshot of the virtual display: $DEMO/screenshot.png"
  wineserver -k >/dev/null 2>&1 || true
  wait "$pid" 2>/dev/null || true
fi
