#!/bin/bash
# Builds a host application against an installed tree only, the way its
# developer would, and runs it against the installed monitor.
# usage: consumer.sh STAGE WORK cmake|pkg-config [TOOLCHAIN_FILE]
set -eu
stage=$1 work=$2 how=$3 toolchain=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
case $how in
  cmake)
    cmake -S "$here/consumer" -B "$work" -DCMAKE_PREFIX_PATH="$stage" ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"} >/dev/null
    cmake --build "$work" >/dev/null
    ;;
  pkg-config)
    # shellcheck disable=SC2046
    cc "$here/consumer/consumer.c" -o "$work/consumer" \
      $(PKG_CONFIG_PATH="$stage/lib/pkgconfig" pkg-config --cflags --libs VesprineDovetide) -Wl,-rpath,"$stage/lib"
    ;;
esac
client=$work/consumer
if [ -e "$work/consumer.exe" ]; then
  # A Windows program finds the DLL that ships beside it.
  cp "$stage/bin/VesprineDovetide.dll" "$work/"
  client=$work/consumer.exe
fi
"$here/../monitor/monitor_e2e.sh" "$stage/bin" "$here/consumer/expected.jsonl" 2 "$client"
