#!/bin/bash
# The C demo and the demo in another language, each run by
# `vesprine-monitor -- PROGRAM` in the examples folder: fails unless the
# monitor printed exactly the same lines for both.
# usage: same_lines.sh MONITOR EXAMPLES C_DEMO PROGRAM [ARGS...]
set -u
monitor=$(realpath "$1") examples=$2 c_demo=$(realpath "$3")
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The monitor's lines alone: the program's own output goes aside.
lines() {
  local out=$1
  shift
  (cd "$examples" && "$monitor" -- sh -c '"$@" >/dev/null' sh "$@") >"$out" 2>"$out.err" ||
    { echo "the monitor or $1 failed:"; cat "$out.err"; exit 1; }
}
lines "$work/c" "$c_demo"
lines "$work/other" "$@"
[ "$(wc -l <"$work/c")" -ge 63 ] || { echo "the C demo gave too few lines:"; cat "$work/c"; exit 1; }
if ! diff -u "$work/c" "$work/other"; then echo "the monitor's lines differ (- C demo, + $*)"; exit 1; fi
echo "$* made the monitor print the C demo's $(wc -l <"$work/c") lines"
