#!/bin/bash
# The live view while a host application sends Shift-JIS text, a page is
# open (reading frames, asking for points now and then) and requests look
# back through the timeline, all at the same time, so that the pipe's
# thread, the renderer, the page's and the looking threads all work and
# decode Shift-JIS. Every line must decode right, the page must be served,
# the monitor must end cleanly, and a sanitizer build must report nothing.
# usage: view_threads.sh MONITOR SENDER PAGE_READER
# RUN, if set, is the command that runs Windows programs (Wine).
set -u
monitor=$1 sender=$2 reader=$3
rounds=8 logs=40 strings=40
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT

# Windows programs run under $RUN; the monitor is started directly, so that $pid is its own.
launcher=()
[[ $monitor == *.exe ]] && read -ra launcher <<<"${RUN:-}"
run() { "${launcher[@]}" "$@"; }
fail() {
  echo "$*"
  echo "== the monitor's standard error (its start):"
  head -c 20000 "$work/err" | tr -d '\r'
  echo
  exit 1
}

# `$1` written `$2` times over.
repeat() {
  local text='' i
  for ((i = 0; i < $2; i++)); do text+=$1; done
  printf '%s' "$text"
}
# テスト in Shift-JIS, as scene_sender's escapes, and what the monitor should print for it.
log_text=$(repeat '\x83\x65\x83\x58\x83\x67' 100)
string_text=$(repeat '\x83\x65\x83\x58\x83\x67' 20)
log_utf8=$(repeat 'テスト' 100)
string_utf8=$(repeat 'テスト' 20)
printf 'SetEncodingShiftJIS\nrepeat %d LogI "%s"\nrepeat %d DrawString 5 5 "%s" 16\n' \
  "$logs" "$log_text" "$strings" "$string_text" >"$work/scene"
per_round=$((1 + logs + strings))
total=$((rounds * per_round))

# The monitor ends by itself after one more message, sent once the seeking is done.
"${launcher[@]}" "$monitor" --json --view --listen 127.0.0.1:0 --count $((total + 1)) >"$work/out" 2>"$work/err" \
  </dev/null &
pid=$!
for _ in $(seq 600); do grep -q "live view at" "$work/err" && break; sleep 0.1; done
printed=$(grep -o 'http://[^ ]*' "$work/err" | tr -d '\r')
[ -n "$printed" ] || fail "the monitor did not serve the view"
# Paths go after the address, the token after them: under Wine curl's user cannot be told.
url=${printed%%\?*} token=${printed#*\?}

# /frame is asked for only where the monitor serves it.
paths=(seek)
[ "$(curl -s -o /dev/null -w '%{http_code}' --max-time 60 "${url}frame?message=0&$token")" = 404 ] || paths+=(frame)

# Seeks (and frames) at varying points, one connection after another, as
# long as `$1` runs; every answer must be 200.
seek_while() {
  local requests=() i
  while kill -0 "$1" 2>/dev/null; do
    requests=()
    for i in $(seq 10); do
      requests+=(-o /dev/null "${url}${paths[RANDOM % ${#paths[@]}]}?message=$((RANDOM % (total + 1)))&$token")
    done
    curl -s --max-time 60 -w '%{http_code}\n' "${requests[@]}" >>"$work/codes"
  done
}

run "$reader" "$printed" 20 "$total" >"$work/page" 2>&1 &
reading=$!
(for _ in $(seq $rounds); do run "$sender" <"$work/scene" || exit 1; done) >"$work/sender" 2>&1 &
sending=$!
seek_while $sending
wait $sending || fail "scene_sender failed: $(cat "$work/sender")"
for _ in $(seq 600); do
  [ "$(grep -c . "$work/out")" -ge $total ] || ! kill -0 $pid 2>/dev/null && break
  sleep 0.1
done
sleep 1 & seek_while $!

wait $reading || fail "the page was not served: $(cat "$work/page")"
echo 'LogI "done"' | run "$sender" || fail "scene_sender failed to send the last message"
for _ in $(seq 600); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "the monitor did not end after $((total + 1)) messages"
wait $pid
status=$?
pid=
[ $status -eq 0 ] || fail "the monitor exited with $status"
grep -q ThreadSanitizer "$work/err" && fail "ThreadSanitizer reported a fault"
[ "$(grep -c . "$work/out")" -eq $((total + 1)) ] ||
  fail "the monitor printed $(grep -c . "$work/out") lines, not $((total + 1))"
logs_right=$(grep -cF "\"command\":\"LogI\",\"text\":\"$log_utf8\"}" "$work/out")
strings_right=$(grep -cF "\"text\":\"$string_utf8\"}" "$work/out")
[ "$logs_right" -eq $((rounds * logs)) ] || fail "$logs_right of $((rounds * logs)) log lines decoded right"
[ "$strings_right" -eq $((rounds * strings)) ] || fail "$strings_right of $((rounds * strings)) strings decoded right"
answers=$(grep -c . "$work/codes")
refused=$(grep -vc '^200$' "$work/codes")
[ "$answers" -gt 0 ] || fail "no request was answered"
[ "$refused" -eq 0 ] || fail "$refused of $answers requests were not answered 200: $(sort "$work/codes" | uniq -c | head -c 500)"
echo "$total messages decoded right while $answers requests (${paths[*]}) were answered; $(tr -d '\r' <"$work/page")"
