#!/bin/bash
# Runs the monitor with --json --count N, then a client against it, and
# compares what the monitor printed with the expected lines (each client's
# lines in order; clients' lines may interleave). A second monitor started
# meanwhile must refuse to run.
# usage: monitor_e2e.sh MONITOR_DIR EXPECTED COUNT CLIENT [ARGS...]
# RUN, if set, is the command that runs Windows programs (Wine).
set -u
bin=$1 expected=$2 count=$3
shift 3
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null; rm -rf "$work"' EXIT

run() { if [[ $1 == *.exe ]]; then ${RUN:-} "$@"; else "$@"; fi; }
monitor=$bin/vesprine-monitor
[ -e "$monitor.exe" ] && monitor=$monitor.exe

run "$monitor" --json --count "$count" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 300); do grep -q serving "$work/err" && break; sleep 0.1; done
grep -q serving "$work/err" || { echo "the monitor did not start:"; cat "$work/err"; exit 1; }

# A second monitor finds the name taken, says by which process, and leaves.
run "$monitor" >"$work/second" 2>&1 </dev/null
status=$?
if [ $status -ne 2 ] ||
   ! grep -Eq "already served by another process: pid [0-9]+ \(vesprine-monitor(\.exe)?\)[[:space:]]*$" "$work/second"; then
  echo "a second monitor exited with $status:"; cat "$work/second"; exit 1
fi

run "$@" >"$work/client" 2>&1 || { echo "the client failed:"; cat "$work/client"; exit 1; }
for _ in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "the monitor did not stop after $count messages:"; cat "$work/out"; exit 1; fi
wait $pid || { echo "the monitor failed:"; cat "$work/err"; exit 1; }

# Clients numbered in the order they first sent: on Windows the second
# monitor asked the pipe who serves it, a client that sent nothing.
tr -d '\r' <"$work/out" |
  awk '{ match($0, /"client":[0-9]+/); c = substr($0, RSTART + 9, RLENGTH - 9)
         if (!(c in seen)) seen[c] = ++clients
         sub(/"client":[0-9]+/, "\"client\":" seen[c]); print }' |
  sort -s -t, -k1,1 >"$work/sorted"
if ! diff -u "$expected" "$work/sorted"; then echo "the monitor's lines differ from $expected"; exit 1; fi
echo "monitor decoded $count messages as expected; summary:"
cat "$work/err"
