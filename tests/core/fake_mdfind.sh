#!/bin/sh
# Stands in for the index's mdfind in the core tests. Every call appends its
# arguments, hex-encoded one per line, to $FAKE_MDFIND_DIR/calls; the answer
# is the fixture file named after that same key (<key>.out) and the exit
# status comes from <key>.status.
dir=${FAKE_MDFIND_DIR:-$(dirname "$0")}
key=$(printf '%s\n' "$@" | od -An -v -tx1 | tr -d ' \n')
printf '%s\n' "$key" >> "$dir/calls"
[ -f "$dir/$key.out" ] && cat "$dir/$key.out"
[ -f "$dir/$key.status" ] && exit "$(cat "$dir/$key.status")"
exit 0
