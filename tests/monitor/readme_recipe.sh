#!/bin/bash
# The README's recipe for testing what a program draws, run as written: its
# blocks marked <!-- recipe: reference --> and <!-- recipe: ci --> taken
# from README.md, with the demo as ./your_program. The same build agrees,
# a changed picture fails the job, and so does a program that fails.
# usage: readme_recipe.sh README MONITOR DEMO DEMO_CHANGED WORK_DIR
set -u
readme=$1 monitor=$2 demo=$3 changed=$4 work=$5
fail() { echo "$1"; shift; for f in "$@"; do echo "--- $f"; cat "$f"; done; exit 1; }

# The shell block after the marker, its indentation taken off.
block() {
  awk -v marker="<!-- recipe: $1 -->" '
    index($0, marker) { found = 1; next }
    found && /```sh/ { inside = 1; next }
    inside && /```/ { exit }
    inside { sub(/^   /, ""); print }' "$readme"
}
reference=$(block reference) ci=$(block ci)
[ -n "$reference" ] && [ -n "$ci" ] || fail "README.md has no marked recipe blocks"

rm -rf "$work" && mkdir -p "$work/bin" "$work/tests"
ln -s "$monitor" "$work/bin/vesprine-monitor"
export PATH="$work/bin:$PATH"
cd "$work" || exit 1
# ./your_program runs PROGRAM, its arguments aside.
program() { printf '#!/bin/sh\nexec %s\n' "$1" >your_program && chmod +x your_program; }

program "$demo"
sh -c "$reference" >reference.out 2>&1 || fail "recording the reference failed" reference.out
[ -s tests/reference.vses ] || fail "no reference was written" reference.out
sh -c "$ci" >same.out 2>&1 || fail "the job failed for the same program" same.out

program "$changed"
sh -c "$ci" >changed.out 2>&1
status=$?
[ $status -eq 1 ] || fail "a changed picture gave status $status, not 1" changed.out
grep -q "screens differ" changed.out && [ -s diff.png ] || fail "the difference was not said and drawn" changed.out

program false
rm -f diff.png
sh -c "$ci" >failed.out 2>&1 && fail "the job passed though the program failed" failed.out
[ ! -e diff.png ] || fail "the job went on to compare after the program failed" failed.out
echo "the README's recipe: same build 0, changed picture 1, failing program fails the job"
