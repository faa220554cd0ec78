#!/bin/sh
# One wineserver for a whole run of the Windows tests, in the build's own prefix.
#   wine_server.sh start PREFIX EMULATOR...   make the prefix if need be, then keep a server alive
#   wine_server.sh stop PREFIX                end it, and whatever still runs in the prefix
# Debian starts wineserver with -p0: it shuts down as soon as no program of the
# prefix runs, which between two tests is every time, and the next program
# meets a server on its way out (a browser test's sender was once ended with
# exit status 1 and no word). A server kept from the first test to the last
# is started once and ended once.
set -u
action=$1 prefix=$2
shift 2
export WINEPREFIX="$prefix"
case $action in
  start)
    # wineboot makes or updates the prefix; the server it started ends below.
    "$@" wineboot >/dev/null 2>&1 || { echo "wine_server.sh: wineboot failed in $prefix" >&2; exit 1; }
    wineserver -k 2>/dev/null
    # The server, and the services that its first program starts, keep their
    # standard streams while they run: keep them off ctest's pipes.
    wineserver -p </dev/null >/dev/null 2>&1 || { echo "wine_server.sh: wineserver did not start" >&2; exit 1; }
    "$@" wineboot </dev/null >/dev/null 2>&1 || { echo "wine_server.sh: wineboot failed in $prefix" >&2; exit 1; }
    echo "wineserver kept alive for $prefix" ;;
  stop)
    wineserver -k 2>/dev/null
    exit 0 ;;
esac
