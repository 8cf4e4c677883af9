#!/bin/sh
# Without a session bus the window claims the session through a socket and a
# lock file in the runtime folder. Whatever else sits at those paths must not
# make every start open a window of its own: a stale plain file, link or
# empty folder of the user's is replaced (the second start hands over), and
# what cannot go without loss (a folder with content, another user's file)
# stops the start with one line naming it.
# Usage: stale_instance_paths.sh BIN_DIR
set -u
. "$(dirname "$0")/helpers.sh"
bin=$1
work=$(mktemp -d)
run="$work/run/quillfind"
first=""
cleanup() {
  [ -n "$first" ] && kill "$first" 2>/dev/null
  stop_service "$run/indexd.lock"
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
failures=0
fail() { echo "FAIL ($case): $*" >&2; failures=$((failures + 1)); }

mkdir -p "$work/roots" "$work/run" "$work/home" && chmod 700 "$work/run"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
unset QUILLFIND_DUMP QUILLFIND_QUERY QUILLFIND_STRESS QUILLFIND_SIMULATE QUILLFIND_INDEX_DIR
export QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export XDG_CACHE_HOME="$work/cache" QUILLFIND_INDEX_ROOTS="$work/roots" QUILLFIND_DEBUG_LOG="$work/debug.log"
log="$work/debug.log"

# replaced CASE: after the plant, one window claims and a second start hands over.
replaced() {
  case=$1
  : >"$log"
  "$bin/quillfind" 2>"$work/first.err" &
  first=$!
  if ! waitFor "instance claimed via=socket"; then
    fail "the first window did not claim the session: $(cat "$work/first.err")"
  else
    timeout 10 "$bin/quillfind" 2>"$work/second.err"
    rc=$?
    [ $rc -eq 0 ] || fail "the second start exited $rc: $(cat "$work/second.err")"
    grep -q "instance handed over via=socket" "$log" || fail "the second start opened a window of its own"
  fi
  kill "$first" 2>/dev/null
  wait "$first" 2>/dev/null
  first=""
}

# refused CASE PATH: the start ends at once with status 1 and one line naming PATH.
refused() {
  case=$1
  timeout 10 "$bin/quillfind" 2>"$work/refused.err"
  rc=$?
  [ $rc -eq 1 ] || fail "the start exited $rc, not 1"
  [ "$(wc -l <"$work/refused.err")" -eq 1 ] && grep -q "^quillfind: .*$2" "$work/refused.err" ||
    fail "the reason is not one line naming $2: $(cat "$work/refused.err")"
}

mkdir -p "$run"
for path in window.sock window.lock; do
  rm -rf "${run:?}/$path"
  echo stale >"$run/$path"
  [ "$path" = window.lock ] || replaced "a plain file at $path"
  rm -rf "${run:?}/$path"
  mkdir "$run/$path"
  replaced "an empty folder at $path"
  rm -rf "${run:?}/$path"
  ln -s "$work/nowhere" "$run/$path"
  replaced "a dangling link at $path"
  [ -L "$work/nowhere" ] || [ ! -e "$work/nowhere" ] || fail "the link's target was touched"

  rm -rf "${run:?}/$path"
  mkdir "$run/$path" && echo keep >"$run/$path/mine.txt"
  refused "a folder with content at $path" "$run/$path"
  [ "$(cat "$run/$path/mine.txt" 2>/dev/null)" = keep ] || fail "the folder's content was touched"
  rm -rf "${run:?}/$path"
  if [ "$(id -u)" -eq 0 ]; then
    mkdir "$run/$path" && chown 65534:65534 "$run/$path"
    refused "another user's empty folder at $path" "$run/$path"
    rm -rf "${run:?}/$path"
  else
    echo "skipped: another user's folder at $path needs root to plant"
  fi
done

# A leftover plain file at the lock path is a lock file like any other.
echo "12345 stale" >"$run/window.lock"
replaced "a stale plain file at window.lock"

[ $failures -eq 0 ] && echo "stale instance paths: all checks passed"
exit $((failures > 0))
