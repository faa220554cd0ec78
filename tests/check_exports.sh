#!/bin/bash
# Fails unless the shared library exports exactly the functions that the .def lists.
set -eu
library=$1 def=$2
expected=$(sed -n 's/^ *\([A-Za-z0-9]*\) @[0-9]*$/\1/p' "$def" | sort)
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
if [ "$expected" != "$actual" ]; then
  echo "exports differ from $def (< expected, > actual):"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports match $def: $(echo "$actual" | wc -l) functions"
