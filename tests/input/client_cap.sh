#!/bin/bash
# Windows: the monitor reads at most 64 clients at once (a thread each); one
# more is refused with one line on standard error, and once the others leave
# a new client is served.
# usage: client_cap.sh MONITOR HOLDER SENDER
# RUN is the command that runs Windows programs (Wine).
set -u
monitor=$1 holder=$2 sender=$3
limit=64  # kMaxClients in server_windows.cpp
work=$(mktemp -d)
pid= holding=
trap 'exec 3>&-; for p in $pid $holding; do kill -9 $p 2>/dev/null; done; rm -rf "$work"' EXIT
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; cat "$f"; done; exit 1; }

${RUN:-} "$monitor" --json >"$work/out" 2>"$work/err" </dev/null &
pid=$!
for _ in $(seq 300); do grep -q serving "$work/err" && break; sleep 0.1; done
grep -q serving "$work/err" || fail "the monitor did not start" "$work/err"

# One connection more than the monitor reads at once, held open.
mkfifo "$work/hold"
${RUN:-} "$holder" $((limit + 1)) <"$work/hold" >"$work/held" &
holding=$!
exec 3>"$work/hold"
for _ in $(seq 600); do [ -s "$work/held" ] && grep -q "refused" "$work/err" && break; sleep 0.1; done
[ "$(tr -d '\r' <"$work/held")" = $((limit + 1)) ] ||
  fail "the holder did not open $((limit + 1)) connections" "$work/held" "$work/err"
sleep 1  # time for any further refusal to show
refusal="vesprine-monitor: refused a client: $limit clients are connected, the most served at once"
[ "$(grep -c "refused" "$work/err")" -eq 1 ] && tr -d '\r' <"$work/err" | grep -qxF "$refusal" ||
  fail "expected the one line: $refusal" "$work/err"

# The held connections leave; a new client is served.
exec 3>&-
wait $holding
holding=
echo 'LogI "after the others left"' | ${RUN:-} "$sender" >"$work/sender" 2>&1 ||
  fail "the client failed" "$work/sender" "$work/err"
for _ in $(seq 300); do grep -q "after the others left" "$work/out" && break; sleep 0.1; done
grep -q "after the others left" "$work/out" || fail "the client after the others was not served" "$work/out" "$work/err"
echo "client $((limit + 1)) was refused; a client after the others left was served"
