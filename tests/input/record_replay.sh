#!/bin/bash
# Records the demo live with --record and replays the file with --replay: the
# same lines, both times the expected ones. Replays sessions recorded on each
# target (the committed ones), and records where no file can be written:
# the monitor says so once, decodes every message all the same, and exits
# with status 2.
# usage: record_replay.sh MONITOR_DIR DEMO EXPECTED SESSION...
# RUN, if set, is the command that runs Windows programs (Wine).
set -u
bin=$1 demo=$2 expected=$3
shift 3
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null; rm -rf "$work"' EXIT
run() { if [[ $1 == *.exe ]]; then ${RUN:-} "$@"; else "$@"; fi; }
monitor=$bin/vesprine-monitor
[ -e "$monitor.exe" ] && monitor=$monitor.exe
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; cat "$f"; done; exit 1; }

# The demo into a monitor that prints JSON lines and records to $1, exiting
# with status $2 (default 0).
live() {
  # A fresh file, so that the wait below cannot read the last monitor's
  # words; the monitor started directly, so that $pid is the monitor.
  rm -f "$work/live.err"
  local runner=()
  [[ $monitor == *.exe ]] && runner=(${RUN:-})
  "${runner[@]}" "$monitor" --json --count 63 --record "$1" >"$work/live" 2>"$work/live.err" </dev/null &
  pid=$!
  for _ in $(seq 300); do grep -qs serving "$work/live.err" && break; sleep 0.1; done
  grep -qs serving "$work/live.err" || fail "the monitor did not start" "$work/live.err"
  run "$demo" >/dev/null 2>&1 || fail "the demo failed" "$work/live.err"
  wait $pid
  [ $? -eq "${2:-0}" ] || fail "the monitor's status was not ${2:-0}" "$work/live.err"
  tr -d '\r' <"$work/live" >"$work/live.lines"
  diff -u "$expected" "$work/live.lines" >/dev/null || fail "the live lines differ from $expected" "$work/live.lines"
}

# Replays $1; its lines must be the expected ones.
replay() {
  run "$monitor" --json --replay "$1" >"$work/replay" 2>"$work/replay.err" </dev/null ||
    fail "the replay of $1 failed" "$work/replay.err"
  tr -d '\r' <"$work/replay" >"$work/replay.lines"
  diff -u "$expected" "$work/replay.lines" || fail "the replay of $1 differs from $expected" "$work/replay.err"
}

live "$work/demo.session"
replay "$work/demo.session"
echo "recorded and replayed the demo: the same 63 lines"

# -- PROGRAM named in letters beyond ASCII, found on the path (on Windows
# by its name in UTF-16): run, every message recorded.
named="$work/bin-é" dir=$(dirname "$demo")
mkdir "$named"
ln -s "$demo" "$named/démo${demo#"${demo%.exe}"}"
PATH="$named:$dir:$PATH" WINEPATH="Z:$named;Z:$dir" run "$monitor" --record "$work/named.session" -- démo \
  >/dev/null 2>"$work/named.err" </dev/null || fail "démo did not run" "$work/named.err"
replay "$work/named.session"
echo "ran démo found on the path: the same 63 lines"
for session in "$@"; do
  replay "$session"
  echo "replayed $session: the same 63 lines"
done

if [[ $monitor == *.exe ]]; then
  # What -- PROGRAM started ends with it (Windows: the program's job).
  run "$monitor" -- cmd /c "start /b ping -n 60 127.0.0.1 >NUL" >/dev/null 2>"$work/job.err" </dev/null ||
    fail "cmd did not run" "$work/job.err"
  sleep 1
  ! ps -eo stat=,args= | grep -q '^[^Z]\S* .*ping\.exe -n 60 ' || fail "what the program started still runs" "$work/job.err"
  echo "what the program started ended with it"
fi

for target in "$work/no-such-folder/demo.session" /dev/full; do
  live "$target" 2
  [ "$(grep -c "cannot write the session" "$work/live.err")" -eq 1 ] ||
    fail "recording to $target was not reported exactly once" "$work/live.err"
done
echo "recording where it cannot be written: said once, every message decoded, status 2"

# Lines that cannot be written: said once, with status 2; the monitor
# reads on, the recording whole.
said_once() {
  [ "$(grep -c "cannot write the lines to standard output: $1" "$2")" -eq 1 ] ||
    fail "the lines that could not be written ($1) were not said exactly once" "$2"
}
run "$monitor" --json --replay "$work/demo.session" >/dev/full 2>"$work/full.err"
[ $? -eq 2 ] || fail "lines to a full device: not status 2" "$work/full.err"
said_once "No space left on device" "$work/full.err"
run "$monitor" --json --replay "$work/demo.session" >&- 2>"$work/closed.err"
[ $? -eq 2 ] || fail "lines to a closed standard output: not status 2" "$work/closed.err"
said_once "" "$work/closed.err"
# A reader gone (| head): its end of the pipe closed before the demo runs.
run "$monitor" --json --count 63 --record "$work/gone.session" 2>"$work/gone.err" </dev/null \
  > >(exec 0<&-; : >"$work/gone") &
pid=$!
for _ in $(seq 300); do grep -q serving "$work/gone.err" && [ -e "$work/gone" ] && break; sleep 0.1; done
run "$demo" >/dev/null 2>&1 || fail "the demo failed" "$work/gone.err"
wait $pid
[ $? -eq 2 ] || fail "lines to a pipe without a reader: not status 2" "$work/gone.err"
said_once "" "$work/gone.err"
replay "$work/gone.session"
echo "lines that cannot be written: said once, every message read and recorded, status 2"
