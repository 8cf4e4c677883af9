#!/bin/sh
# A second start of the window hands over to the first and exits 0 at once,
# on a private session bus and, without one or with an index folder of its
# own, through the runtime folder; the first window is asked to come to the
# front. A stress run is not handed over.
# Usage: second_instance.sh BIN_DIR
set -u
. "$(dirname "$0")/helpers.sh"
bin=$1
if [ "${QF_INNER:-}" != 1 ]; then
  # Once on a private session bus, once with none at all.
  QF_INNER=1 dbus-run-session -- sh "$0" "$@" dbus || exit 1
  QF_INNER=1 env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY sh "$0" "$@" socket || exit 1
  QF_INNER=1 dbus-run-session -- sh "$0" "$@" socket own-index || exit 1
  echo "second instance: all checks passed"
  exit 0
fi
via=$2
work=$(mktemp -d)
# The service's lock: in the index folder when there is one of its own,
# else in the runtime folder.
lock="$work/run/quillfind/indexd.lock"
first=""
cleanup() {
  [ -n "$first" ] && kill "$first" 2>/dev/null
  stop_service "$lock"
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
failures=0
fail() { echo "FAIL ($via): $*" >&2; failures=$((failures + 1)); }

mkdir -p "$work/roots" "$work/idx" "$work/run" "$work/home" && chmod 700 "$work/run"
export QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export XDG_CACHE_HOME="$work/cache" QUILLFIND_INDEX_ROOTS="$work/roots" QUILLFIND_DEBUG_LOG="$work/debug.log"
unset QUILLFIND_DUMP QUILLFIND_QUERY QUILLFIND_STRESS QUILLFIND_SIMULATE QUILLFIND_INDEX_DIR
if [ "${3:-}" = own-index ]; then
  export QUILLFIND_INDEX_DIR="$work/idx"
  lock="$work/idx/indexd.lock"
fi
log="$work/debug.log"

"$bin/quillfind" 2>"$work/first.err" &
first=$!
waitFor "instance claimed via=$via" || { fail "the first window did not claim the session"; cat "$work/first.err" >&2; exit 1; }

XDG_ACTIVATION_TOKEN=token-1 timeout 10 "$bin/quillfind" 2>"$work/second.err"
rc=$?
[ $rc -eq 0 ] || fail "the second start exited $rc: $(cat "$work/second.err")"
grep -q "instance handed over via=$via" "$log" || fail "the second start did not hand over"
waitFor "instance activate" || fail "the first window was not asked to come to the front"
kill -0 "$first" 2>/dev/null || fail "the first window is gone"
[ "$(grep -c 'instance claimed' "$log")" -eq 1 ] || fail "a second window claimed the session"

# Stress mode measures a window of its own, whatever else is open.
QUILLFIND_STRESS=needle timeout 60 "$bin/quillfind" 2>"$work/stress.err"
grep -q STRESS_DONE "$work/stress.err" || fail "the stress run was handed over: $(cat "$work/stress.err")"

exit $((failures > 0))
