#!/bin/bash
# Builds the wheel of one platform: this package with the one library given,
# in vesprinedovetide/lib/PLATFORM/, and the version from the public header.
# usage: make_wheel.sh LIBRARY PLATFORM OUT_DIR   (PLATFORM: win32, win_amd64 or linux_x86_64)
set -euo pipefail
library=$1 platform=$2
out=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cp "$here/pyproject.toml" "$stage/"
mkdir -p "$stage/vesprinedovetide/lib/$platform"
cp "$here"/vesprinedovetide/*.py "$stage/vesprinedovetide/"
cp "$here/vesprinedovetide_pytest.py" "$stage/"
# The library under its own name (a link's name, for the Linux one).
cp -L "$library" "$stage/vesprinedovetide/lib/$platform/"
sed -n 's/^#define VESPRINE_VERSION "\(.*\)"$/\1/p' "$here/../../include/VesprineDovetide.h" >"$stage/VERSION"
cd "$stage"
"${PYTHON:-/usr/bin/python3}" -m build --wheel --no-isolation --outdir "$out" \
  -C--build-option=--plat-name="$platform" >build.log 2>&1 || { cat build.log; exit 1; }
ls "$out"/vesprinedovetide-"$(cat VERSION)"-py3-none-"$platform".whl
