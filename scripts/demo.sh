#!/usr/bin/env bash
# Sets up the machine, builds the Launcher, lays out a demo program folder and runs it there:
# stand-in servers of ours play MySQL and the web server, which serves the start page on port 80.
# Once both run, the Launcher opens the start page; the demo's browser records the address, and
# the demo fetches that page and prints what answered.
# With a DISPLAY the Launcher stays on screen until you end it (tray menu "Выход" or the
# Journal's "Выход" button). Without one, a virtual display is started, the Journal is saved as
# a picture and the Launcher is ended.
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
cp "$BIN/fake_server.exe" "$DEMO/httpd.exe"
cp "$BIN/fake_server.exe" "$DEMO/mysqld.exe"
WEB_MARKER=$DEMO/httpd.log DB_MARKER=$DEMO/mysqld.log
cat >"$DEMO/wendlor.ini" <<INI
; Demo settings: the stand-in servers run until the Launcher stops them; the web server answers
; every request on port 80 with a small page.
[wendlor]
WebServer = httpd.exe --listen 80 --marker ..\httpd.log --stdout "Demo web server is up\r\n"
WebServerDirectory = www
MysqlServer = mysqld.exe --marker ..\mysqld.log
MysqlServerDirectory = db
StartHidden = yes
CheckIntervalMs = 1000
OpenBrowser = yes
INI

export WINEPREFIX=$ROOT/build/demo-prefix
# The prefix's browser is the tests' URL recorder (scripts/wine-prefix.sh): it writes here.
export WENDLOR_TEST_URL_LOG=$DEMO/browser.log
LOADER=$(grep -E '^WINE_LOADER:' "$TEST_BUILD/CMakeCache.txt" | cut -d= -f2)
headless=0
[ -z "${DISPLAY:-}" ] && headless=1
trap 'wineserver -k >/dev/null 2>&1 || true; stop_display' EXIT
ensure_display
# One small Windows desktop with a taskbar, where the tray icon shows too.
DESKTOP=800x600
WENDLOR_WINE_DESKTOP=$DESKTOP bash "$ROOT/scripts/wine-prefix.sh" up "$WINEPREFIX" "$LOADER" "$BIN" >/dev/null

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds; fails at the deadline.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
marked() { [ -f "$1" ] && tr -d '\r' <"$1" | grep -q "$2"; }
journal_window() {
  xwininfo -root -tree 2>/dev/null | awk '/журнал работы программы/ {print $1; exit}'
}
journal_shown() {
  local id
  id=$(journal_window)
  [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable'
}

echo "== running the Launcher in $DEMO"
cd "$DEMO"
"$LOADER" "$DEMO/wendlor.exe" &
pid=$!

if wait_for 30 marked "$WEB_MARKER" '^listen'; then
  if marked "$WEB_MARKER" '^listening=80'; then
    echo "stand-in web server: listening on port 80"
  else
    echo "stand-in web server: could not listen on port 80 ($(tr -d '\r' <"$WEB_MARKER" | grep '^listen-failed')):" \
      "another program holds the port, so whatever answers there below is not ours"
  fi
else
  echo "the stand-in web server did not start; see the Journal"
fi

if [ "$headless" = 1 ]; then
  # The Journal hides itself once both servers have run for 3 seconds: take it before that.
  if wait_for 20 journal_shown && wait_for 10 marked "$DB_MARKER" '^started'; then
    import -window "$(journal_window)" "$DEMO/journal.png"
    import -window root -crop "$DESKTOP+0+0" "$DEMO/screenshot.png"
    echo "the Journal as it showed: $DEMO/journal.png (the whole desktop: $DEMO/screenshot.png)"
  else
    echo "the Journal did not appear"
  fi
fi

if wait_for 30 test -s "$WENDLOR_TEST_URL_LOG"; then
  url=$(head -n 1 "$WENDLOR_TEST_URL_LOG" | tr -d '\r')
  echo "the Launcher opened the start page: $url"
  /usr/bin/python3 - "$url" <<'PY' || true
import re, sys, urllib.request
url = sys.argv[1]
try:
    with urllib.request.urlopen(url, timeout=10) as answer:
        page = answer.read().decode("utf-8", "replace")
        title = re.search(r"<title>(.*?)</title>", page, re.S)
        print(f"GET {url}: {answer.status} {answer.reason}, {len(page)} characters,"
              f" title \"{title.group(1).strip() if title else ''}\"")
except Exception as error:
    print(f"GET {url} failed: {error}")
PY
  tr -d '\r' <"$WEB_MARKER" | sed -n 's/^request=/the stand-in web server answered: /p'
else
  echo "the Launcher did not open the start page within 30 seconds"
fi

if [ "$headless" = 0 ]; then
  rc=0
  wait "$pid" || rc=$?
  echo "Launcher ended with exit code $rc"
else
  wineserver -k >/dev/null 2>&1 || true
  wait "$pid" 2>/dev/null || true
fi
