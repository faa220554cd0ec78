#!/bin/bash
# Fails unless a library exports exactly the functions that the .def lists:
# a shared library's dynamic symbols, or an import library's __imp_ entries
# (__imp__Name on 32-bit Windows, where C names carry an underscore).
set -eu
library=$1 def=$2
expected=$(sed -n 's/^ *\([A-Za-z0-9]*\) @[0-9]*$/\1/p' "$def" | sort)
if [[ $library == *.lib ]]; then
  actual=$(nm "$library" | sed -n 's/^.* I __imp__\{0,1\}\(.*\)$/\1/p' | sort)
else
  actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
fi
if [ "$expected" != "$actual" ]; then
  echo "exports of $library differ from $def (< expected, > actual):"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$library exports exactly the $(echo "$actual" | wc -l) functions of $def"
