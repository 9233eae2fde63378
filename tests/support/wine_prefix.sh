#!/bin/sh
# start: makes the tests' Wine prefix if needed and keeps one wineserver
# running for the whole test run; stop: ends that wineserver.
set -eu
action=$1 prefix=$2 wine_run=$3 wineserver=$4
export WINEPREFIX="$prefix"
case $action in
  start)
    # A persistent server left behind by an interrupted run would never exit.
    "$wineserver" -k 2>/dev/null || true
    "$wine_run" cmd /c exit 0 >/dev/null 2>&1
    "$wineserver" -w
    "$wineserver" -p </dev/null >/dev/null 2>&1
    # Wine's services start with the first program and live as long as the
    # server; started here, they hold no test's output pipe open.
    "$wine_run" cmd /c exit 0 </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$wineserver" -k 2>/dev/null || true
    ;;
esac
