#!/bin/sh
# Stands in for the index's mdfind in the tests. Every call appends its
# arguments, hex-encoded one per line, to "calls" beside this link; the
# answer is the fixture file named after that same key (<key>.out, or
# <key>.<n>.out for the nth such call only; others.out where neither is),
# <key>.sleep holds a pause before answering and <key>.status the exit status.
dir=$(dirname "$0")
key=$(printf '%s\n' "$@" | od -An -v -tx1 | tr -d ' \n')
printf '%s\n' "$key" >> "$dir/calls"
n=$(grep -cx "$key" "$dir/calls")
[ -f "$dir/$key.sleep" ] && sleep "$(cat "$dir/$key.sleep")"
[ -f "$dir/$key.out" ] && cat "$dir/$key.out"
[ -f "$dir/$key.$n.out" ] && cat "$dir/$key.$n.out"
[ -f "$dir/$key.out" ] || [ -f "$dir/$key.$n.out" ] || cat "$dir/others.out" 2>/dev/null
[ -f "$dir/$key.status" ] && exit "$(cat "$dir/$key.status")"
exit 0
