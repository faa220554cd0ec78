#!/bin/bash
# A visual regression test of a host application, as its CI would run it:
# the demo recorded once as the reference, then the demo with its sun in
# another colour recorded anew and compared with the reference. Exits with
# vesprine-monitor --compare's status: 0 the same picture, 1 it changed,
# 2 an error (a recording that failed included).
# usage: visual_test.sh MONITOR REFERENCE_PROGRAM CHANGED_PROGRAM WORK_DIR
# (run from the folder that holds the programs' images; RUN, if set, runs
# Windows programs)
set -u
monitor=$1 reference=$2 changed=$3 work=$4
runner() { if [[ $1 == *.exe ]]; then echo "${RUN:-}"; fi; }

# Records what PROGRAM draws into FILE: the monitor serves the pipe, runs
# the program, and ends with it; a program that fails fails the recording.
record() {
  $(runner "$monitor") "$monitor" --record "$1" -- "$2" >/dev/null </dev/null ||
    { echo "recording $2 failed"; exit 2; }
}

mkdir -p "$work"
record "$work/reference.vses" "$reference"
record "$work/new.vses" "$changed"
$(runner "$monitor") "$monitor" --compare "$work/reference.vses" "$work/new.vses" --diff "$work/diff.png"
