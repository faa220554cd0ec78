#!/bin/bash
# The monitor and its file descriptors: with more clients waiting than it may
# open, it backs off instead of polling its listener at full speed, and once
# they leave it serves the next client; started with its standard
# descriptors closed, it takes none of them for its own.
# usage: fd_limit.sh MONITOR HOLDER SENDER
set -u
monitor=$1 holder=$2 sender=$3
limit=32
work=$(mktemp -d)
pid= holding=
trap 'exec 3>&-; for p in $pid $holding; do kill -9 $p 2>/dev/null; done; rm -rf "$work"' EXIT
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; cat "$f"; done; exit 1; }

# prlimit runs the monitor in its own process, so $pid is the monitor's.
prlimit --nofile=$limit "$monitor" --json >"$work/out" 2>"$work/err" </dev/null &
pid=$!
for _ in $(seq 300); do grep -q serving "$work/err" && break; sleep 0.1; done
grep -q serving "$work/err" || fail "the monitor did not start" "$work/err"

# Twice as many connections as the monitor may open: the rest wait to be accepted.
mkfifo "$work/hold"
"$holder" $((2 * limit)) <"$work/hold" >"$work/held" &
holding=$!
exec 3>"$work/hold"
for _ in $(seq 300); do [ -s "$work/held" ] && break; sleep 0.1; done
[ "$(cat "$work/held")" -gt $limit ] || fail "only $(cat "$work/held") connections could be opened" "$work/err"
open=0
for _ in $(seq 300); do
  open=$(ls "/proc/$pid/fd" | wc -l)
  [ "$open" -ge $limit ] && break
  sleep 0.1
done
[ "$open" -ge $limit ] || fail "the monitor holds $open descriptors, never its limit of $limit" "$work/err"

# CPU time (user and system, in clock ticks) over 2 s at the limit: a
# monitor that polls at full speed uses about all of it.
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep 2
used=$(($(ticks) - before))
[ "$used" -le $((hz / 2)) ] ||
  fail "at its limit the monitor used $used of $((2 * hz)) clock ticks in 2 s; at most $((hz / 2)) expected" "$work/err"

# The held connections leave; a new client is served.
exec 3>&-
wait $holding
holding=
echo 'LogI "after the limit"' | "$sender" >"$work/sender" 2>&1 || fail "the client failed" "$work/sender" "$work/err"
for _ in $(seq 300); do grep -q "after the limit" "$work/out" && break; sleep 0.1; done
grep -q "after the limit" "$work/out" || fail "the client after the limit was not served" "$work/out" "$work/err"
kill -TERM $pid
wait $pid
pid=

# Started with standard input, output and error closed, the monitor takes
# none of them for a descriptor of its own (its lines then cannot be
# written: status 2): it records every message and ends.
echo 'repeat 2000 LogI "with closed descriptors"' >"$work/script"
timeout -s KILL 30 "$monitor" --record "$work/closed.vses" -- sh -c 'exec "$0" <"$1"' "$sender" "$work/script" <&- >&- 2>&-
status=$?
[ $status -eq 2 ] || fail "started with descriptors 0-2 closed, the monitor exited $status, not 2"
recorded=$("$monitor" --replay "$work/closed.vses" | grep -c "with closed descriptors")
[ "$recorded" -eq 2000 ] || fail "started with descriptors 0-2 closed, the monitor recorded $recorded of 2000 messages"
echo "at its limit of $limit descriptors the monitor used $used clock ticks in 2 s, then served the next client;" \
     "started with descriptors 0-2 closed, it recorded all 2000 messages"
