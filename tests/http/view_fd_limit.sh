#!/bin/bash
# Idle connections to the live view cannot take the descriptors that the
# pipe and the image files need: under a limit of 64, with 80 connections
# open to the view and idle, one more is answered 503 at once, and a client
# of the pipe is served and its image drawn.
# usage: view_fd_limit.sh MONITOR SENDER IMAGES
set -u
monitor=$1 sender=$2 images=$3
limit=64 idle=80
work=$(mktemp -d)
pid= held=()
trap 'for fd in "${held[@]}"; do exec {fd}>&-; done; [ -n "$pid" ] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; cat "$f"; done; exit 1; }

# prlimit runs the monitor in its own process, so $pid is the monitor's.
prlimit --nofile=$limit "$monitor" --json --view --listen 127.0.0.1:0 --images "$images" >"$work/out" 2>"$work/err" \
  </dev/null &
pid=$!
for _ in $(seq 300); do grep -q "live view at" "$work/err" && break; sleep 0.1; done
url=$(grep -o 'http://[^ ]*' "$work/err")
[ -n "$url" ] || fail "the monitor did not serve the view" "$work/err"
base=${url%%\?*} port=${base##*:} port=${port%/}

for _ in $(seq $idle); do
  exec {fd}<>"/dev/tcp/127.0.0.1/$port" || fail "could not open $idle connections to the view" "$work/err"
  held+=("$fd")
done
# The idle connections wait 30 s for a request: everything below is done well before.
answer=$(curl -s --max-time 10 -w ' %{http_code}' "$url")
[[ $answer =~ ^"too many connections (at most "[0-9]+")"$'\n'?" 503"$ ]] ||
  fail "a connection over the limit was answered \"$answer\", not 503 at once" "$work/err"

printf 'SetResolution 64 64\nDrawImage "images/logo.png" 0 0\n' | "$sender" >"$work/sender" 2>&1 ||
  fail "the pipe's client failed" "$work/sender"
for _ in $(seq 100); do [ "$(grep -c . "$work/out")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c . "$work/out")" -eq 2 ] || fail "the pipe's client was not served beside the idle connections" "$work/out" "$work/err"

# Looking back shows what was drawn then: the image, or the placeholder and its warning.
for fd in "${held[@]}"; do exec {fd}>&-; done
held=()
# The monitor frees their places as it sees them closed, a moment later.
for _ in $(seq 50); do
  state=$(curl -s --max-time 60 "${base}seek?message=2&token=${url##*token=}")
  [[ $state == "too many connections"* ]] || break
  sleep 0.1
done
[[ $state == *'"message":2'* ]] || fail "no state of message 2: $state" "$work/err"
[[ $state == *"cannot draw image"* ]] && fail "the image was not drawn: $state" "$work/err"
kill -TERM $pid
wait $pid
pid=
echo "with $idle idle connections open to the view under a limit of $limit descriptors, a request over the" \
  "limit was answered 503 at once, and the pipe's client was served and its image drawn"
