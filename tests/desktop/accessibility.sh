#!/bin/sh
# The window as a screen-reader user meets it: on a virtual X display, with a
# session bus and the accessibility bus of its own, over a small fixture tree
# indexed by its own index service, driven through AT-SPI and the keyboard
# (accessibility.py). The session's locale is C.UTF-8: the window must speak
# Chinese all the same.
# Usage: accessibility.sh BIN_DIR DUMP_FILE
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
dump=$2
python=/usr/bin/python3  # Debian's, which has pyatspi; not a virtualenv's
for tool in xvfb-run dbus-run-session xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/deps installs it)"
    exit 77
  fi
done
if ! "$python" -c 'import pyatspi' 2>/dev/null; then
  echo "skipped: pyatspi is not installed (Debian package python3-pyatspi; scripts/deps installs it)"
  exit 77
fi

if [ "${QF_INNER:-}" != 1 ]; then
  QF_INNER=1 exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" sh "$0" "$@"
fi

. "$here/helpers.sh"
work=$(mktemp -d)
cleanup() {
  stop_service "$work/index/indexd.lock"
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

roots="$work/roots"
mkdir -p "$roots/docs/a" "$roots/docs/b" "$roots/other" "$work/index" "$work/run" "$work/home"
chmod 700 "$work/run"
echo hi >"$roots/docs/a/report.txt"
echo hi >"$roots/docs/b/report.txt"
head -c 5000 /dev/zero >"$roots/docs/a/report.pdf"
echo x >"$roots/other/notes.md"

unset QUILLFIND_DUMP QUILLFIND_QUERY QUILLFIND_STRESS QUILLFIND_SIMULATE LANGUAGE LC_ALL
export LANG=C.UTF-8 HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export XDG_CACHE_HOME="$work/cache" QUILLFIND_INDEX_DIR="$work/index" QUILLFIND_INDEX_ROOTS="$roots"
export QUILLFIND_DEBUG_LOG="$work/debug.log" QUILLFIND_MDFIND="$bin/mdfind"
# Qt speaks AT-SPI only when asked; a desktop asks through the accessibility
# bus's IsEnabled, this test directly.
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The fixture is indexed before the window starts, so the rows are whole.
"$bin/quillfind-indexd" --daemonize 2>"$work/indexd.err" || { cat "$work/indexd.err" >&2; exit 1; }
tries=0
until [ "$("$bin/mdfind" -count -name report 2>/dev/null || echo 0)" -ge 3 ]; do
  tries=$((tries + 1))
  [ $tries -le 100 ] || { echo "the index service did not answer" >&2; exit 1; }
  sleep 0.1
done

"$python" "$here/accessibility.py" "$roots" "$dump" "$bin/quillfind" 2>"$work/driver.err"
rc=$?
# The window's own messages are noise unless something failed.
[ $rc -eq 0 ] || cat "$work/driver.err" >&2
exit $rc
