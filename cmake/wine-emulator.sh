#!/bin/sh
# Emulator of the Windows cross build: runs a Windows program under Wine, in the
# prefix that WINEPREFIX names.
#
# A new prefix is set up first, once, to the end: left to the first program,
# Wine finishes setting it up in the background while later programs start,
# and one of them now and then fails at once, with no output. A new prefix
# also reports its creation on standard error, which would reach the tests
# that compare it.
#
# Wine's background processes inherit the streams of the program that starts
# them, and a test runner waits until every holder of a test's output has
# exited: about 2.5 s per test. So one wineserver and the prefix's services are
# started here with no streams of the caller, and kept for 30 s after the last
# program.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEPREFIX WINEDEBUG=-all
wine_dir=/usr/lib/wine

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine_dir/wine64" wineboot --init </dev/null >/dev/null 2>&1 || true
            # Until the set-up's server, and with it every process it started, has exited.
            "$wine_dir/wineserver" --wait </dev/null >/dev/null 2>&1 || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi

if "$wine_dir/wineserver" -p30 </dev/null >/dev/null 2>&1; then
    # This call started the server: bring the prefix's services up before the program runs.
    "$wine_dir/wine64" wineboot </dev/null >/dev/null 2>&1 || true
fi
exec "$wine_dir/wine64" "$@"
