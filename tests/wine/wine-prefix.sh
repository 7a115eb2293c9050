#!/bin/sh
# Sets up or tears down the Wine prefix of one test run:
#   wine-prefix.sh start|stop PREFIX LOADER WINESERVER
# start keeps a wineserver running for the whole run, so that no test pays
# for starting one, and readies the prefix; stop ends that wineserver and
# every Windows process still left in the prefix.
set -eu
action=$1
export WINEPREFIX=$2
loader=$3
wineserver=$4
export WINEDEBUG=-all
# No Mono or Gecko installers: the tests need neither .NET nor HTML.
export WINEDLLOVERRIDES="mscoree,mshtml="

case $action in
start)
    mkdir -p "$WINEPREFIX"
    # One left by a run that was broken off would refuse a second one.
    if "$wineserver" -k 2>/dev/null; then
        "$wineserver" -w
    fi
    boot() {
        # Its output goes nowhere, so that the server it leaves behind holds
        # no pipe of ctest's open.
        "$wineserver" -p </dev/null >/dev/null 2>&1
        # The services that wineboot starts stay, and keep whatever output
        # they were given open: a log file, not ctest's pipe.
        if ! "$loader" wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1; then
            cat "$WINEPREFIX/wineboot.log"
            exit 1
        fi
    }
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # A prefix made in this run's own wineserver leaves the console slow
        # to take keys for a while; one made and then started afresh does
        # not, so the run starts from the second boot.
        boot
        "$wineserver" -k
        "$wineserver" -w
    fi
    boot
    echo "Wine prefix $WINEPREFIX is ready"
    ;;
stop)
    if "$wineserver" -k 2>/dev/null; then
        "$wineserver" -w
        echo "wineserver of $WINEPREFIX stopped"
    else
        echo "no wineserver was running for $WINEPREFIX"
    fi
    ;;
*)
    echo "usage: $0 start|stop PREFIX LOADER WINESERVER" >&2
    exit 2
    ;;
esac
