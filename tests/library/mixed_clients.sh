#!/bin/bash
# A 32-bit and a 64-bit host application send the demo into one monitor at
# the same time: each must arrive whole, and the two must be byte for byte
# the same. Both run in one Wine prefix, so that they reach the same pipe.
# Exits 77 (skipped) where 32-bit Windows programs cannot run or 32-bit Wine
# is not installed.
# usage: mixed_clients.sh MONITOR DEMO32 DEMO64
# RUN32 and RUN64 are the Wine commands for each.
set -u
monitor=$1 demo32=$2 demo64=$3
if [ ! -e "$demo32" ]; then echo "skipped: no 32-bit demo at $demo32 (build the windows-x86 preset)"; exit 77; fi
if [ ! -x /usr/lib/wine/wine ]; then echo "skipped: 32-bit Wine is not installed"; exit 77; fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "skipped: this machine runs no 32-bit programs, so 32-bit Wine cannot start"; exit 77
fi
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null; rm -rf "$work"' EXIT
$RUN64 "$monitor" --json --hex --count 126 >"$work/out" 2>"$work/err" </dev/null &
pid=$!
for _ in $(seq 300); do grep -q serving "$work/err" && break; sleep 0.1; done
grep -q serving "$work/err" || { echo "the monitor did not start:"; cat "$work/err"; exit 1; }
$RUN32 "$demo32" >"$work/demo32" 2>&1 &
first=$!
$RUN64 "$demo64" >"$work/demo64" 2>&1 || { echo "the 64-bit demo failed:"; cat "$work/demo64"; exit 1; }
wait $first || { echo "the 32-bit demo failed:"; cat "$work/demo32"; exit 1; }
for _ in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
wait $pid || { echo "the monitor did not take both demos' 126 messages:"; cat "$work/err"; exit 1; }
# Each client's messages in order, as their bytes.
for client in 1 2; do
  grep "^{\"client\":$client," "$work/out" | sed 's/.*"hex":"\([0-9a-f]*\)".*/\1/' >"$work/client$client"
done
if [ "$(grep -c . "$work/client1")" -ne 63 ] || ! cmp -s "$work/client1" "$work/client2"; then
  echo "the two host applications' messages differ:"; diff "$work/client1" "$work/client2" | head -20; exit 1
fi
echo "a 32-bit and a 64-bit host application sent the same 63 messages, byte for byte"
