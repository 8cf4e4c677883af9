#!/bin/sh
# The window on Wayland: a headless weston of its own (software rendering,
# private runtime folder), QT_QPA_PLATFORM=wayland, a small fixture tree
# indexed by its own index service. The window starts, searches, paints its
# rows (a screenshot against one of a query that matches nothing), and a
# second launch hands over to it and asks it to the front.
# Usage: wayland.sh BIN_DIR [SCREENSHOT]
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
keep=${2:-}
for tool in weston weston-screenshooter convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/deps installs it)"
    exit 77
  fi
done
. "$here/helpers.sh"
work=$(mktemp -d)
compositor=""
window=""
cleanup() {
  [ -n "$window" ] && kill "$window" 2>/dev/null
  [ -n "$compositor" ] && kill "$compositor" 2>/dev/null
  stop_service "$work/index/indexd.lock"
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

roots="$work/roots"
mkdir -p "$roots/docs/a" "$roots/docs/b" "$work/index" "$work/run" "$work/home"
chmod 700 "$work/run"
echo hi >"$roots/docs/a/report.txt"
echo hi >"$roots/docs/b/report.md"
head -c 5000 /dev/zero >"$roots/docs/a/report.pdf"

unset QUILLFIND_DUMP QUILLFIND_QUERY QUILLFIND_STRESS QUILLFIND_SIMULATE DISPLAY DBUS_SESSION_BUS_ADDRESS
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export QUILLFIND_INDEX_DIR="$work/index" QUILLFIND_INDEX_ROOTS="$roots" QUILLFIND_DEBUG_LOG="$work/debug.log"
export QUILLFIND_MDFIND="$bin/mdfind" QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=quillfind-test
log="$work/debug.log"

# The screenshot protocol is only offered with --debug; without pixman the
# headless output renders nothing at all. The output leaves room around the
# window wherever the shell places it.
weston --backend=headless-backend.so --use-pixman --debug --idle-time=0 \
  --width=1400 --height=900 --socket="$WAYLAND_DISPLAY" >"$work/weston.log" 2>&1 &
compositor=$!
tries=0
until [ -S "$work/run/$WAYLAND_DISPLAY" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 50 ] || ! kill -0 "$compositor" 2>/dev/null; then
    echo "skipped: weston did not start: $(tail -n 3 "$work/weston.log")"
    exit 77
  fi
  sleep 0.1
done

"$bin/quillfind-indexd" --daemonize 2>"$work/indexd.err" || { cat "$work/indexd.err" >&2; exit 1; }
tries=0
until [ "$("$bin/mdfind" -count -name report 2>/dev/null || echo 0)" -ge 3 ]; do
  tries=$((tries + 1))
  [ $tries -le 100 ] || { echo "the index service did not answer" >&2; exit 1; }
  sleep 0.1
done

# shot NAME QUERY TOTAL: the window with QUERY, on screen once it has
# published TOTAL results; leaves it running as $window.
shot() {
  : >"$log"
  QUILLFIND_QUERY=$2 "$bin/quillfind" 2>"$work/$1.err" &
  window=$!
  waitFor "instance claimed" || { fail "$1: the window did not start: $(cat "$work/$1.err")"; return 1; }
  waitFor "publish#.* total=$3\$" || { fail "$1: no search with $3 results: $(cat "$log")"; return 1; }
  # The rows are painted on the next frame; give the compositor a moment.
  sleep 1.5
  mkdir -p "$work/$1" && (cd "$work/$1" && weston-screenshooter >/dev/null 2>&1)
  mv "$work/$1"/*.png "$work/$1.png" 2>/dev/null || { fail "$1: no screenshot"; return 1; }
}

shot empty 'zz-no-such-name' 0 || exit 1
kill "$window" && wait "$window" 2>/dev/null
window=""
if shot rows report 3; then
  # The shell places each window somewhere else, so the two pictures are
  # compared by how much of the table's white the rows' names, folders,
  # kinds, sizes and dates cover (about 9,000 pixels for three rows; the
  # desktop around the window has no pure white).
  white() { convert "$1" -fill black +opaque white -colorspace gray -format '%[fx:round(mean*w*h)]' info:; }
  covered=$(($(white "$work/empty.png") - $(white "$work/rows.png")))
  [ "$covered" -gt 3000 ] || fail "the rows were not painted (they cover $covered pixels of white)"
  [ -n "$keep" ] && cp "$work/rows.png" "$keep"

  XDG_ACTIVATION_TOKEN=token-1 timeout 10 "$bin/quillfind" 2>"$work/second.err"
  rc=$?
  [ $rc -eq 0 ] || fail "the second start exited $rc: $(cat "$work/second.err")"
  grep -q "instance handed over" "$log" || fail "the second start did not hand over"
  waitFor "instance activate" || fail "the first window was not asked to the front"
  [ "$(grep -c 'instance claimed' "$log")" -eq 1 ] || fail "a second window opened"
  kill -0 "$window" 2>/dev/null || fail "the first window is gone: $(cat "$work/rows.err")"
fi

[ $failures -eq 0 ] && echo "Wayland: all checks passed"
exit $((failures > 0))
