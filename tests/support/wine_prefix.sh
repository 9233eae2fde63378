#!/bin/sh
# start: makes the tests' Wine prefix if needed, freezes a copy of it as the
# template of the end-to-end tests' own prefixes, and keeps one wineserver
# running in the prefix for the whole test run; stop: ends that wineserver.
set -eu
action=$1 prefix=$2 template=$3 wine_run=$4 wineserver=$5
export WINEPREFIX="$prefix"
case $action in
  start)
    # A persistent server left behind by an interrupted run would never exit.
    "$wineserver" -k 2>/dev/null || true
    "$wine_run" cmd /c exit 0 >/dev/null 2>&1
    # Wine writes the registry out of memory only now and then, each file
    # through a temporary one, so a copy of a prefix in use can catch it half
    # saved. Once the server has ended everything is written: the template is
    # copied now, and nothing ever runs in it.
    "$wineserver" -w
    rm -rf "$template"
    mkdir -p "$template"
    system32=drive_c/windows/system32
    (cd "$prefix" && tar -c --exclude="./$system32" .) | (cd "$template" && tar -x)
    # Some 600 MB of libraries that Wine only reads: linked, not copied. The
    # spooler's folders are written by the tests that install drivers.
    cp -al "$prefix/$system32" "$template/$system32"
    rm -rf "$template/$system32/spool"
    cp -a "$prefix/$system32/spool" "$template/$system32/spool"
    "$wineserver" -p </dev/null >/dev/null 2>&1
    # Wine's services start with the first program and live as long as the
    # server; started here, they hold no test's output pipe open.
    "$wine_run" cmd /c exit 0 </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$wineserver" -k 2>/dev/null || true
    ;;
esac
