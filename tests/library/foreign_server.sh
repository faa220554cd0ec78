#!/bin/bash
# The library keeps only a display host of the caller's own user or root: one
# that another user bound the name for is left at once and sent nothing, and
# the call returns 0; root's display host still serves a client of another
# user. Needs root, to run as uid 65534.
# usage: foreign_server.sh SERVER SENDER LIBRARY
set -u
server=$1 sender=$2 library=$3
[ "$(id -u)" -eq 0 ] || { echo "skipped: only root can run a server as another user"; exit 77; }
command -v setpriv >/dev/null || { echo "skipped: setpriv (util-linux) is missing"; exit 77; }
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; cat "$f"; done; exit 1; }
nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"

# The other user may not read the build tree: the programs and the library go
# to a folder it can read.
mkdir "$work/bin"
cp "$server" "$sender" "$work/bin/"
cp -a "$(dirname "$library")"/libVesprineDovetide.so* "$work/bin/"
chmod -R a+rX "$work"
server="$work/bin/$(basename "$server")"
sender="env LD_LIBRARY_PATH=$work/bin $work/bin/$(basename "$sender")"

# Starts the server, as uid 65534 when asked, with its lines in $work/$1.
start() {
  local out=$work/$1 as=${2:-}
  $as "$server" >"$out" 2>&1 &
  pid=$!
  for _ in $(seq 300); do grep -q serving "$out" && break; sleep 0.1; done
  grep -q serving "$out" || fail "the server did not start" "$out"
}
stop() { kill $pid; wait $pid 2>/dev/null; pid=; }

start foreign "$nobody"
for call in 'Init' 'LogI "for the display host of root only"'; do
  echo "$call" | $sender >"$work/sent" 2>&1
  status=$?
  [ $status -eq 1 ] && grep -q "returned 0" "$work/sent" ||
    fail "$call to a server of uid 65534: expected 0, the sender exited with $status" "$work/sent" "$work/foreign"
done
sleep 0.2
stop
grep -q "message" "$work/foreign" && fail "the server of uid 65534 received a message" "$work/foreign"

start own
printf 'Init\nLogI "from another user"\n' | $nobody $sender >"$work/sent" 2>&1 ||
  fail "a client of uid 65534 was not served by root's server" "$work/sent" "$work/own"
for _ in $(seq 300); do grep -q "client gone" "$work/own" && break; sleep 0.1; done
stop
grep -q "client of uid 65534" "$work/own" && grep -q "message of" "$work/own" ||
  fail "root's server did not receive the message of uid 65534" "$work/own"
echo "a server of uid 65534 was left unsent to; root's served a client of uid 65534"
