#!/bin/bash
# A visual regression test of a host application, as its CI would run it:
# the demo recorded once as the reference, then the demo with its sun in
# another colour recorded anew and compared with the reference. Exits with
# vesprine-monitor --compare's status: 0 the same picture, 1 it changed.
# usage: visual_test.sh MONITOR REFERENCE_PROGRAM CHANGED_PROGRAM WORK_DIR
# (run from the folder that holds the programs' images; RUN, if set, runs
# Windows programs)
set -u
monitor=$1 reference=$2 changed=$3 work=$4
runner() { if [[ $1 == *.exe ]]; then echo "${RUN:-}"; fi; }

# Records what PROGRAM draws into FILE: the monitor serves the pipe,
# the program runs, the monitor stops and leaves the file complete.
record() {
  local file=$1 program=$2
  : >"$work/monitor.err"
  $(runner "$monitor") "$monitor" --record "$file" >/dev/null 2>"$work/monitor.err" </dev/null &
  local pid=$!
  for _ in $(seq 300); do grep -q serving "$work/monitor.err" && break; sleep 0.1; done
  $(runner "$program") "$program" >/dev/null || { echo "$program failed"; kill $pid; exit 2; }
  # Recording is flushed within a tenth of a second; then the monitor may go.
  sleep 0.3
  kill $pid
  wait $pid
}

mkdir -p "$work"
record "$work/reference.vses" "$reference"
record "$work/new.vses" "$changed"
$(runner "$monitor") "$monitor" --compare "$work/reference.vses" "$work/new.vses" --diff "$work/diff.png"
