#!/bin/sh
# Installs the build into a temporary DESTDIR with the prefix /usr and checks
# the copy: the layout, the desktop entry and metainfo validators, --version
# without a display, the helper lookup from the installed folders, and the
# systemd unit's way of starting the service next to an on-demand one.
# The installed program's dump mode runs a search through the installed mdfind.
# Usage: installed.sh BUILD_DIR VERSION
set -u
. "$(dirname "$0")/helpers.sh"
build=$1 version=$2
work=$(mktemp -d)
service=""
cleanup() {
  if [ -n "$service" ]; then kill "$service" 2>/dev/null; fi
  stop_service "$work/idx/indexd.lock"
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

dest="$work/dest"
DESTDIR="$dest" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; exit 1; }
app=org.quillfind.Quillfind

# The layout: two commands on the PATH, the rest private or data.
for f in usr/bin/quillfind usr/bin/mdfind usr/libexec/quillfind/quillfind-window usr/libexec/quillfind/quillfind-indexd \
         usr/libexec/quillfind/ditto; do
  [ -x "$dest/$f" ] || fail "$f is missing or not executable"
done
for f in usr/share/applications/$app.desktop usr/share/icons/hicolor/scalable/apps/$app.svg \
         usr/share/metainfo/$app.metainfo.xml usr/lib/systemd/user/quillfind-indexd.service \
         etc/xdg/autostart/$app.indexd.desktop usr/share/bash-completion/completions/mdfind \
         usr/share/man/man1/quillfind.1.gz usr/share/man/man1/mdfind.1.gz usr/share/man/man1/quillfind-indexd.1.gz \
         usr/share/doc/quillfind/copyright usr/share/doc/quillfind/changelog.Debian.gz; do
  [ -s "$dest/$f" ] || fail "$f is missing"
done
extra=$(ls "$dest/usr/bin" | grep -v -x -e quillfind -e mdfind)
[ -z "$extra" ] && [ ! -e "$dest/usr/bin/ditto" ] || fail "more than the two commands on the PATH: $extra"

desktop-file-validate "$dest/usr/share/applications/$app.desktop" "$dest/etc/xdg/autostart/$app.indexd.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$dest/usr/share/metainfo/$app.metainfo.xml" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$dest/usr/share/metainfo/$app.metainfo.xml" ||
  fail "the metainfo's release is not $version"
bash -n "$dest/usr/share/bash-completion/completions/mdfind" || fail "the completion is not valid bash"
for page in quillfind mdfind quillfind-indexd; do
  warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$dest/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page.1: $warnings"
done

# At login exactly one thing starts the service: the user unit, enabled for
# everyone, where systemd manages the session; the autostart entry where it
# does not. systemd's own generator must make no unit of the entry (GNOME's
# session manager reads X-GNOME-HiddenUnderSystemd instead).
[ "$(readlink -f "$dest/usr/lib/systemd/user/default.target.wants/quillfind-indexd.service")" = \
  "$(readlink -f "$dest/usr/lib/systemd/user/quillfind-indexd.service")" ] || fail "the user unit is not enabled"
grep -qx 'X-GNOME-HiddenUnderSystemd=true' "$dest/etc/xdg/autostart/$app.indexd.desktop" ||
  fail "GNOME under systemd would start the autostart entry too"
generator=/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator
if [ -x "$generator" ]; then
  mkdir -p "$work/units"
  env -i XDG_CONFIG_DIRS="$dest/etc/xdg" XDG_CONFIG_HOME="$work/config" "$generator" "$work/units" "$work/units" "$work/units"
  generated=$(find "$work/units" -name "*quillfind*")
  [ -z "$generated" ] || fail "systemd makes a unit of the autostart entry: $generated"
fi

# --version: no display, no session, nothing else in the environment.
for program in usr/bin/quillfind usr/bin/mdfind usr/libexec/quillfind/quillfind-indexd; do
  out=$(env -i PATH=/usr/bin:/bin "$dest/$program" --version 2>"$work/err")
  rc=$?
  [ $rc -eq 0 ] || fail "$program --version exited $rc: $(cat "$work/err")"
  case "$out" in *" $version") ;; *) fail "$program --version printed '$out'" ;; esac
done

# A private service world for the installed programs.
mkdir -p "$work/roots/sub" "$work/idx" "$work/run" && chmod 700 "$work/run"
: >"$work/roots/sub/needle-file.txt"
export QUILLFIND_INDEX_DIR="$work/idx" QUILLFIND_INDEX_ROOTS="$work/roots" XDG_RUNTIME_DIR="$work/run"
export XDG_CACHE_HOME="$work/cache" QUILLFIND_DEBUG_LOG="$work/debug.log" PATH=/usr/bin:/bin
unset QUILLFIND_MDFIND QUILLFIND_DITTO

# The unit's command line, with the installed copy standing for /usr.
unit="$dest/usr/lib/systemd/user/quillfind-indexd.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
set -- $exec_start
case "$1" in /usr/libexec/quillfind/quillfind-indexd) ;; *) fail "the unit starts '$1'" ;; esac
[ "$(sed -n 's/^Restart=//p' "$unit")" = on-failure ] || fail "the unit does not restart on failure"
unit_exe="$dest$1"
shift
unit_args="$*"

# Started the unit's way first: mdfind (looking for the service in
# ../libexec/quillfind) finds it running and starts no second one.
# shellcheck disable=SC2086
"$unit_exe" $unit_args 2>"$work/unit.log" &
service=$!
# mdfind starts a service of its own when none listens yet, so it asks only
# once the unit's service holds the lock.
tries=0
until [ "$(cat "$work/idx/indexd.lock" 2>/dev/null)" = "$service" ]; do
  tries=$((tries + 1))
  [ $tries -le 100 ] || { fail "the unit's service took no lock: $(cat "$work/unit.log")"; break; }
  sleep 0.1
done
tries=0
until [ "$("$dest/usr/bin/mdfind" -count -name needle 2>/dev/null)" = 1 ]; do
  tries=$((tries + 1))
  [ $tries -le 100 ] || { fail "the installed mdfind got no answer: $(cat "$work/unit.log")"; break; }
  sleep 0.1
done
[ "$(cat "$work/idx/indexd.lock")" = "$service" ] || fail "the lock is not held by the unit's service"
# Dump mode of the installed program: no display, the installed mdfind, the
# path and the counts on standard error.
env -u DISPLAY -u WAYLAND_DISPLAY QUILLFIND_DUMP=1 QUILLFIND_QUERY='needle .txt' \
  "$dest/usr/bin/quillfind" >"$work/dump.out" 2>"$work/dump.err" || fail "dump mode failed: $(cat "$work/dump.err")"
grep -qx "$work/roots/sub/needle-file.txt" "$work/dump.err" || fail "dump mode printed: $(cat "$work/dump.err")"
grep -q "TOTAL=1 SHOWN=1" "$work/dump.err" || fail "dump mode counted: $(cat "$work/dump.err")"
"$dest/usr/bin/mdfind" --start-service || fail "mdfind --start-service next to the unit's service"
[ "$(cat "$work/idx/indexd.lock")" = "$service" ] || fail "a second service took over"
kill "$service"
wait "$service"
[ $? -eq 0 ] || fail "the unit's service did not end cleanly on SIGTERM"
service=""

# Started on demand first: the unit's start ends at once with status 0 (no
# restart loop) and the on-demand service keeps running.
"$dest/usr/bin/mdfind" --start-service || fail "the installed mdfind cannot start the service"
first=$(cat "$work/idx/indexd.lock")
# shellcheck disable=SC2086
timeout 10 "$unit_exe" $unit_args 2>"$work/unit2.log"
rc=$?
[ $rc -eq 0 ] || fail "the unit's start next to a running service exited $rc"
grep -q "already running" "$work/unit2.log" || fail "the unit's start did not see the running service"
[ "$(cat "$work/idx/indexd.lock")" = "$first" ] && kill -0 "$first" 2>/dev/null || fail "the on-demand service is gone"

[ $failures -eq 0 ] && echo "installed copy: all checks passed"
exit $((failures > 0))
