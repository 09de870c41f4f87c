#!/bin/sh
# Runs a 64-bit Windows program under wine64, quietly, in a Wine prefix of
# its own (QZ_WINEPREFIX, default ~/.cache/qz-wine64) that is made once,
# under a lock, when missing. Used as the cross build's test launcher.
set -eu
prefix=${QZ_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/qz-wine64}
wine=${QZ_WINE64:-}
if [ -z "$wine" ]; then
    wine=$(command -v wine64 2>/dev/null || true)
    [ -n "$wine" ] || wine=/usr/lib/wine/wine64
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installers, no desktop windows.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
export DISPLAY=
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/system.reg" ]; then
            "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
            "$(dirname "$wine")/wineserver" -w 9>&- 2>/dev/null || true
        fi
    ) 9>"$prefix.lock"
fi
# One server for the whole run, kept for a while after the last program
# ends (a program that arrives while a server shuts down fails to connect).
# The first program of a server starts Wine's service processes, which live
# as long as the server and inherit that program's output: a throw-away
# program starts them with /dev/null, so that a caller reading a test's
# output through a pipe sees it end when the test ends.
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
(
    flock 9
    # (fd 9, the lock, is closed for them: the server must not keep it)
    if "$wineserver" -p120 </dev/null >/dev/null 2>&1 9>&-; then
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$prefix.lock"
exec "$wine" "$@"
