#!/bin/sh
# Runs a Windows program under Wine, quietly, in a Wine prefix of its own
# that is made once, under a lock, when missing. Used as the cross builds'
# test launcher:
#   scripts/wine-run.sh [win64|win32] PROGRAM [ARGS...]
#   scripts/wine-run.sh win32 --check   (says whether 32-bit Wine runs here)
# win64 (the default): wine64, prefix QZ_WINEPREFIX or ~/.cache/qz-wine64.
# win32: the 32-bit loader of Debian's wine32 (/usr/lib/wine/wine, or
# QZ_WINE32), called by its path (no `wine` launcher, no binfmt handler),
# prefix QZ_WINEPREFIX32 or ~/.cache/qz-wine32, a 32-bit Windows of its own.
# When 32-bit Wine cannot run here, a win32 program is not started: the
# launcher prints a line "QZ-SKIP: <reason>" on stderr and fails, which the
# tests take as skipped (SKIP_REGULAR_EXPRESSION).
set -eu
kind=win64
case ${1:-} in
    win64 | win32) kind=$1; shift ;;
esac
cache=${XDG_CACHE_HOME:-$HOME/.cache}
if [ "$kind" = win64 ]; then
    prefix=${QZ_WINEPREFIX:-$cache/qz-wine64}
    wine=${QZ_WINE64:-}
    if [ -z "$wine" ]; then
        wine=$(command -v wine64 2>/dev/null || true)
        [ -n "$wine" ] || wine=/usr/lib/wine/wine64
    fi
else
    prefix=${QZ_WINEPREFIX32:-$cache/qz-wine32}
    wine=${QZ_WINE32:-/usr/lib/wine/wine}
    # 32-bit Wine needs a kernel that executes 32-bit x86 programs (IA32
    # emulation); some virtual machines' kernels do not.
    # scripts/win32-launcher.sh sets QZ_WINE32_SKIP_REASON when neither this
    # machine nor its virtual machine can run the programs.
    why=${QZ_WINE32_SKIP_REASON:-}
    # scripts/install-wine32.sh --optional keeps why it could not install it.
    record=$cache/qz-wine32.unavailable
    if [ -n "$why" ]; then
        :
    elif [ ! -x "$wine" ] && [ -s "$record" ]; then
        why="32-bit Wine could not be installed ($(head -n 1 "$record"); scripts/install-wine32.sh tries again)"
    elif [ ! -x "$wine" ]; then
        why="32-bit Wine is not installed ($wine missing; scripts/install-wine32.sh installs it)"
    elif ! out=$("$wine" --version 2>&1); then
        why="32-bit Wine cannot run here: this kernel does not execute 32-bit x86 programs ($wine: $(echo "$out" | tail -n 1 | sed 's/.*: //'))"
    fi
    if [ "${1:-}" = --check ]; then
        [ -z "$why" ] || { echo "$why"; exit 1; }
        echo "$out"
        exit 0
    fi
    if [ -n "$why" ]; then
        echo "QZ-SKIP: $why" >&2
        exit 1
    fi
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH="$kind"
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
