#!/bin/sh
# A developer's shell may point the index variables at real data: the tests
# that create and remove trees under their roots must never use them.
# Usage: isolation.sh TEST_PROGRAM
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/mine/docs"
echo keep >"$work/mine/docs/report.txt"
QUILLFIND_INDEX_ROOTS="$work/mine" QUILLFIND_INDEX_DIR="$work/mine-index" QUILLFIND_DEBUG_LOG="$work/mine/log" \
  "$1" >"$work/out" 2>&1 || { cat "$work/out" >&2; exit 1; }
[ "$(find "$work/mine" "$work/mine-index" 2>/dev/null)" = "$work/mine
$work/mine/docs
$work/mine/docs/report.txt" ] || { echo "FAIL: the caller's folders were touched:" >&2; find "$work" >&2; exit 1; }
echo "the caller's index folders are left alone"
