# Sourced by the desktop tests.

# stop_service LOCK: stops the index service whose pid the lock file holds,
# and waits (up to 5 s) until it has written its snapshot and ended, so that
# its folder may go after it.
stop_service() {
  pid=$(cat "$1" 2>/dev/null)
  if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
    tries=0
    while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do tries=$((tries + 1)); sleep 0.1; done
  fi
}

# waitFor PATTERN: polls the debug log named by $log for up to ten seconds.
waitFor() {
  tries=0
  until grep -q "$1" "$log" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || return 1
    sleep 0.1
  done
}
