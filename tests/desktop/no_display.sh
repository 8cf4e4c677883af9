#!/bin/sh
# The command where no window can open (an SSH session, a cron job):
# --help and --version answer, the window fails with one line and status 1,
# never Qt's abort.
# Usage: no_display.sh BIN_DIR
set -u
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/home" "$work/run" && chmod 700 "$work/run"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A display number nothing listens on.
n=4711
while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done

# case | arguments | environment beyond none at all | status | stdout | lines on stderr
while IFS='|' read -r name args environment status out errLines; do
  # shellcheck disable=SC2086
  env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache" QUILLFIND_DEBUG_LOG="$work/debug.log" QUILLFIND_INDEX_DIR="$work/idx" \
    QUILLFIND_INDEX_ROOTS="$work/roots" $environment timeout 30 "$bin/quillfind" $args >"$work/out" 2>"$work/err"
  rc=$?
  [ "$rc" -eq "$status" ] || fail "$name: status $rc, not $status: $(cat "$work/err")"
  case "$out" in
    empty) [ ! -s "$work/out" ] || fail "$name: stdout was: $(cat "$work/out")" ;;
    *) grep -q "^$out" "$work/out" || fail "$name: stdout was: $(cat "$work/out")" ;;
  esac
  [ "$(grep -c '' "$work/err")" -eq "$errLines" ] || fail "$name: stderr was: $(cat "$work/err")"
done <<EOF_CASES
help|--help||0|usage: quillfind |0
short help|-h||0|usage: quillfind |0
version|--version||0|quillfind [0-9]|0
version among other arguments|--x --version||0|quillfind [0-9]|0
window without a display|||1|empty|1
window on an X display nothing listens on||DISPLAY=:$n|1|empty|1
window on a Wayland socket nothing listens on||QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=qf-none-$n|1|empty|1
EOF_CASES

[ $failures -eq 0 ] && echo "without a display: all checks passed"
exit $((failures > 0))
