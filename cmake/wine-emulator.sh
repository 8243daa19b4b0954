#!/bin/sh
# Emulator of the Windows cross build: runs a Windows program under Wine, in the
# prefix that WINEPREFIX names.
#
# Wine's background processes inherit the streams of the program that starts
# them, and a test runner waits until every holder of a test's output has
# exited: about 2.5 s per test. So one wineserver and the prefix's services are
# started here with no streams of the caller, and kept for 30 s after the last
# program. A new prefix also reports its creation on standard error, which
# would reach the tests that compare it.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEPREFIX WINEDEBUG=-all
wine_dir=/usr/lib/wine

if "$wine_dir/wineserver" -p30 </dev/null >/dev/null 2>&1; then
    # This call started the server: bring the prefix up (creating it if new) before the program runs.
    "$wine_dir/wine64" wineboot </dev/null >/dev/null 2>&1
fi
exec "$wine_dir/wine64" "$@"
