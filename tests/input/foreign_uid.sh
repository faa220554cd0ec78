#!/bin/bash
# A client of another user is refused before anything is reported about it:
# the monitor says so once, on standard error, and prints none of its
# messages; a client of the monitor's own user is served after it, as the
# first client. Needs root, to run the other client as uid 65534.
# usage: foreign_uid.sh MONITOR SENDER LIBRARY
set -u
monitor=$1 sender=$2 library=$3
[ "$(id -u)" -eq 0 ] || { echo "skipped: only root can run a client as another user"; exit 77; }
command -v setpriv >/dev/null || { echo "skipped: setpriv (util-linux) is missing"; exit 77; }
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; cat "$f"; done; exit 1; }

# The other user may not read the build tree: the client and the library go
# to a folder it can read.
mkdir "$work/client"
cp "$sender" "$work/client/"
cp -a "$(dirname "$library")"/libVesprineDovetide.so* "$work/client/"
chmod -R a+rX "$work"

"$monitor" --json >"$work/out" 2>"$work/err" </dev/null &
pid=$!
for _ in $(seq 300); do grep -q serving "$work/err" && break; sleep 0.1; done
grep -q serving "$work/err" || fail "the monitor did not start" "$work/err"

# The library may or may not see the refusal before its call returns; only what the monitor does counts.
echo 'LogW "from another user"' | setpriv --reuid=65534 --regid=65534 --clear-groups \
  env LD_LIBRARY_PATH="$work/client" "$work/client/$(basename "$sender")" >"$work/foreign" 2>&1
echo 'LogI "from the same user"' | "$sender" >"$work/own" 2>&1 || fail "the same user's client failed" "$work/own"
for _ in $(seq 300); do grep -q "same user" "$work/out" && break; sleep 0.1; done
kill -TERM $pid
wait $pid
pid=

grep -q "another user" "$work/out" && fail "the other user's message was printed" "$work/out"
expected='{"client":1,"code":22,"command":"LogI","text":"from the same user"}'
[ "$(cat "$work/out")" = "$expected" ] || fail "expected only the line: $expected" "$work/out"
refusal="vesprine-monitor: refused a client of uid 65534: only uid 0 may connect"
[ "$(grep -c "refused a client" "$work/err")" -eq 1 ] && grep -qxF "$refusal" "$work/err" ||
  fail "expected the one line: $refusal" "$work/err"
echo "the client of uid 65534 was refused; the same user's was served"
