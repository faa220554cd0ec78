#!/bin/sh
# One wineserver for a whole run of the Windows tests, in the build's own prefix.
#   wine_server.sh start PREFIX EMULATOR...   make the prefix if need be, then keep a server alive
#   wine_server.sh stop PREFIX                end it, and whatever still runs in the prefix
# The server that Debian's wine starts (-p0) shuts down as soon as no program
# of the prefix runs, which between two tests is every time, and the next
# program can meet it on its way out (a browser test's sender was once ended
# with exit status 1 and no word). A server kept from the first test to the
# last is started once and ended once.
set -u
action=$1 prefix=$2
shift 2
export WINEPREFIX="$prefix"
# The server of the loader that the toolchain names, not whatever is on PATH.
wineserver=/usr/lib/wine/wineserver
# The server, and the services that its first program starts, keep their
# standard streams while they run: they go to a file, never to ctest's pipes.
log=$prefix-server.log
failed() {
  cat "$log" >&2
  echo "wine_server.sh: $1" >&2
  exit 1
}
case $action in
  start)
    # wineboot makes or updates the prefix; the server it started ends below.
    "$@" wineboot </dev/null >"$log" 2>&1 || failed "wineboot failed in $prefix"
    $wineserver -k 2>/dev/null
    $wineserver -p </dev/null >"$log" 2>&1 || failed "wineserver did not start"
    "$@" wineboot </dev/null >>"$log" 2>&1 || failed "wineboot failed under the kept server"
    echo "wineserver kept alive for $prefix" ;;
  stop)
    $wineserver -k 2>/dev/null
    exit 0 ;;
  *)
    echo "usage: wine_server.sh start PREFIX EMULATOR... | stop PREFIX" >&2
    exit 2 ;;
esac
