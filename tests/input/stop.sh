#!/bin/bash
# Ctrl-C (SIGINT) and SIGTERM end the monitor within a second whatever it is
# doing: rendering a backlog of costly messages while a look back waits for
# it, the pipe's thread waiting at the timeline's bound, an export, a
# compare. The session being recorded holds every message received and
# replays whole.
# usage: stop.sh MONITOR SENDER
# STOP_WITHIN: the seconds allowed (default 1); STOP_SIDE: the rectangles'
# side (default 8192; less where drawing is slow, so that one message still
# takes less than the monitor's own grace).
set -u
monitor=$1 sender=$2 within=${STOP_WITHIN:-1} side=${STOP_SIDE:-8192}
# ThreadSanitizer sleeps a second at exit by default: longer than the grace.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}atexit_sleep_ms=0"
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill -9 $p 2>/dev/null; done; rm -rf "$work"' EXIT
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; head -c 3000 "$f"; echo; done; exit 1; }

# Sends signal $2 to $1 and waits for it to end: fails when that takes
# longer than $within seconds (waiting up to a minute, to say how long).
stops_in_time() {
  local pid=$1 signal=$2 what=$3 start end
  start=$(date +%s%N)
  kill -"$signal" "$pid"
  for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.01; done
  end=$(date +%s%N)
  wait "$pid"
  status=$?
  local ms=$(((end - start) / 1000000))
  echo "$what: SIG$signal ended it in $ms ms (status $status)"
  [ "$ms" -le "$(awk "BEGIN { print $within * 1000 }")" ] || fail "$what: SIG$signal took $ms ms" "$work/err"
  ! grep -q "still stopping" "$work/err" || fail "$what: the monitor did not end by itself" "$work/err"
}

# Starts the monitor with a view, recording, and waits until it serves.
start_monitor() {
  rm -f "$work/out" "$work/err"
  "$monitor" --view --listen 127.0.0.1:0 --record "$work/session.vses" >"$work/out" 2>"$work/err" </dev/null &
  pid=$!
  pids+=($pid)
  for _ in $(seq 300); do grep -q "live view at" "$work/err" && break; sleep 0.1; done
  url=$(grep -o 'http://[^ ?]*' "$work/err")
  [ -n "$url" ] || fail "the monitor did not start" "$work/err"
}

# Waits until the monitor has printed $1 lines: every message is received.
received() {
  for _ in $(seq 600); do [ "$(wc -l <"$work/out")" -ge "$1" ] && return; sleep 0.05; done
  fail "the monitor printed $(wc -l <"$work/out") of $1 lines" "$work/out" "$work/err"
}

# 100 full-screen rectangles: seconds of rendering.
rectangles="SetResolution $side $side
repeat 100 DrawRect 0 0 $side $side 1"
# 20 strings of 4,095 characters at 1,024 px, nothing of them on the screen:
# every printable character but the quote and the backslash, over and over.
printable=$(printf '%s' {a..z} {A..Z} {0..9} '!#$%&()*+,-./:;<=>?@[]^_`{|}~')
text=$(for _ in $(seq 50); do printf '%s' "$printable"; done)
strings="repeat 20 DrawString 2147483647 0 \"${text:0:4095}\" 1024"

for signal in TERM INT; do
  start_monitor
  echo "$rectangles" | "$sender" || fail "the sender failed"
  received 101
  # A look back at the last message waits for the render thread.
  curl -s -o /dev/null "${url}frame?message=101" &
  stops_in_time $pid $signal "rectangles in the backlog, a look back waiting"
  # The recording replays whole: every message received.
  "$monitor" --replay "$work/session.vses" >"$work/replayed" 2>"$work/replay-err" ||
    fail "the recording does not replay" "$work/replay-err"
  [ "$(wc -l <"$work/replayed")" -eq 101 ] || fail "the recording holds $(wc -l <"$work/replayed") messages" \
    "$work/replay-err"
done

start_monitor
echo "$strings" | "$sender" || fail "the sender failed"
received 20
stops_in_time $pid TERM "long strings off the screen in the backlog"

# The pipe's thread waiting at the timeline's bound: the rectangles, then
# more log lines than the timeline holds, behind them.
start_monitor
printf '%s\nrepeat 4200 LogI "%s"\n' "$rectangles" "$(head -c 65535 /dev/zero | tr '\0' 'L')" | "$sender" \
  >/dev/null 2>&1 &
pids+=($!)
received 101
sleep 1
stops_in_time $pid TERM "the pipe's thread at the timeline's bound"

# A long export and a compare of the recorded rectangles.
echo "$rectangles" >"$work/scene"
start_monitor
"$sender" <"$work/scene" || fail "the sender failed"
received 101
kill -TERM $pid
wait $pid
"$monitor" --replay "$work/session.vses" --export "$work/clip.png" --from 0 2>"$work/err" &
pid=$!
pids+=($pid)
sleep 0.5
stops_in_time $pid INT "an export"
grep -q "interrupted" "$work/err" || fail "the export did not say it was interrupted" "$work/err"
"$monitor" --compare "$work/session.vses" "$work/session.vses" >/dev/null 2>"$work/err" &
pid=$!
pids+=($pid)
sleep 0.5
stops_in_time $pid TERM "a compare"
[ "$status" -eq 2 ] || fail "an interrupted compare gave status $status, not 2" "$work/err"
# An export to a video whose encoder stops reading: the monitor, blocked on
# the encoder's full pipe, still ends by itself, and ends the encoder. The
# pauses make frames, written while the walk goes on.
start_monitor
{ echo "SetResolution $side $side"; sleep 0.2; echo "DrawRect 0 0 $side $side 1"; sleep 0.2; echo "DrawPixel 0 0"; } |
  "$sender" || fail "the sender failed"
received 3
kill -TERM $pid
wait $pid
mkdir "$work/stalled"
printf '#!/bin/sh\necho $$ >"%s"\nexec sleep 60\n' "$work/stalled/pid" >"$work/stalled/ffmpeg"
chmod +x "$work/stalled/ffmpeg"
PATH="$work/stalled:$PATH" "$monitor" --replay "$work/session.vses" --export "$work/clip.mp4" --fps 1000 \
  2>"$work/err" &
pid=$!
pids+=($pid)
for _ in $(seq 100); do [ -s "$work/stalled/pid" ] && break; sleep 0.05; done
encoder=$(cat "$work/stalled/pid")
pids+=($encoder)
sleep 0.5
stops_in_time $pid INT "an export to an encoder that stopped reading"
! kill -0 "$encoder" 2>/dev/null || fail "the encoder still runs after the export stopped" "$work/err"
# An encoder given every frame that then never ends: the wait for it does
# not look at the stop, so the grace ends the monitor, with status 2, and
# the encoder with it.
start_monitor
printf 'SetResolution 8 8\nDrawPixel 0 0\n' | "$sender" || fail "the sender failed"
received 2
kill -TERM $pid
wait $pid
rm -f "$work/stalled/pid"
PATH="$work/stalled:$PATH" "$monitor" --replay "$work/session.vses" --export "$work/small.gif" 2>"$work/err" &
pid=$!
pids+=($pid)
for _ in $(seq 100); do [ -s "$work/stalled/pid" ] && break; sleep 0.05; done
encoder=$(cat "$work/stalled/pid")
pids+=($encoder)
sleep 0.5
kill -INT $pid
wait $pid
status=$?
grep -q "still stopping" "$work/err" || fail "the grace did not end the export" "$work/err"
[ "$status" -eq 2 ] || fail "the stop's grace gave status $status, not 2" "$work/err"
# Killed, it is gone or a zombie waiting for whoever adopted it.
for _ in $(seq 50); do grep -qs '^[0-9]* ([^)]*) [^Z]' /proc/$encoder/stat || break; sleep 0.02; done
! grep -qs '^[0-9]* ([^)]*) [^Z]' /proc/$encoder/stat || fail "the encoder outlived the monitor's grace" "$work/err"
# A session from a FIFO that no one writes: the monitor waits in its
# opening, and a stop there is said as one.
mkfifo "$work/fifo"
for mode in "--replay $work/fifo" "--replay $work/fifo --export $work/fifo.png" "--compare $work/fifo $work/fifo"; do
  $monitor $mode >/dev/null 2>"$work/err" &
  pid=$!
  pids+=($pid)
  sleep 0.5
  stops_in_time $pid INT "$mode, no one writing"
  [ "$status" -eq 2 ] && grep -q "interrupted" "$work/err" || fail "$mode: the stop was not said" "$work/err"
done

# -- PROGRAM, the monitor's standard input no terminal: what the program
# started ends with it, and the program ignores no signal because the
# monitor does (SIGXFSZ, 25).
"$monitor" -- sh -c 'grep SigIgn /proc/self/status >"$0"; sleep 100 & echo $! >"$0.pid"; wait' "$work/program" \
  >/dev/null 2>"$work/err" </dev/null &
pid=$!
pids+=($pid)
for _ in $(seq 100); do [ -s "$work/program.pid" ] && break; sleep 0.05; done
sleeper=$(cat "$work/program.pid")
pids+=($sleeper)
stops_in_time $pid TERM "a program that started another"
# Ended, not a zombie left for whoever reaps orphans here.
state=$(ps -o stat= -p "$sleeper")
[ -z "$state" ] || [[ $state == Z* ]] || fail "what the program started still runs after the monitor ended" "$work/err"
ignored=$(awk '{ print $2 }' "$work/program")
[ $((0x$ignored >> 24 & 1)) -eq 0 ] || fail "the program ignores SIGXFSZ (SigIgn $ignored)" "$work/err"
echo "every stop within $within s"
