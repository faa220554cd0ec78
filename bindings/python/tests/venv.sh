#!/bin/bash
# The Linux wheel, built from LIBRARY, installed from the file alone into a
# fresh virtual environment WORK/venv that also sees Debian's pytest.
# usage: venv.sh LIBRARY WORK
set -eu
library=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
"$(dirname "$0")/../make_wheel.sh" "$library" linux_x86_64 "$work/wheels"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-index --no-deps -q "$work"/wheels/*.whl
"$work/venv/bin/python" -c 'import vesprinedovetide.raw as r; print("installed; it loads", r.path)'
