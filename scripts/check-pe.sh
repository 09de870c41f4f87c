#!/bin/sh
# Checks the Windows deliverables of a MinGW build with objdump:
#   scripts/check-pe.sh BUILD_DIR win64|win32
# Each plug-in (externals/*.mxe64 or *.mxe) must be a PE DLL for the right
# machine, export `main` and nothing else, get its DLL entry from
# module_entry.cpp (which calls DisableThreadLibraryCalls), import host
# operations from qzhost.dll and only names that host/maxapi.h and
# host/jitlib.h declare, and need no DLL but the system's and qzhost.dll.
# qzhost.dll and qz.exe must need no MinGW runtime DLL either.
set -eu
build=$1
kind=$2
root=$(cd "$(dirname "$0")/.." && pwd)
case $kind in
    win64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 magic=020b ext=mxe64 ;;
    win32) objdump=i686-w64-mingw32-objdump format=pei-i386 magic=010b ext=mxe ;;
    *) echo "usage: $0 BUILD_DIR win64|win32" >&2; exit 2 ;;
esac

failures=0
checked=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The host operations a plug-in may import.
api=$(sed -n '/^#/d; s/.*QZ_HOST_API[^(]*[ *]\([a-z_0-9]*\)(.*/\1/p' "$root/host/maxapi.h" "$root/host/jitlib.h" | sort -u)
[ -n "$api" ] || { echo "no host operations found in host/maxapi.h" >&2; exit 1; }

# DLLs a module may import: the system's, and (for plug-ins and qz.exe) the host.
allowed_dll() {
    case $(echo "$1" | tr 'A-Z' 'a-z') in
        kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | shell32.dll | ole32.dll) return 0 ;;
        qzhost.dll) [ "$2" = yes ] ;;
        *) return 1 ;;
    esac
}

# check_module FILE IS_DLL HOST_IMPORT_ALLOWED
check_module() {
    f=$1
    dump=$($objdump -p "$f") || { fail "$f: objdump cannot read it"; return; }
    echo "$dump" | grep -q "file format $format" || fail "$f: not $format"
    echo "$dump" | grep -q "^Magic[[:space:]]*$magic" || fail "$f: optional header magic is not $magic"
    if [ "$2" = yes ]; then
        echo "$dump" | grep -q "^Characteristics.*" &&
            echo "$dump" | grep -A12 '^Characteristics' | grep -q 'DLL' || fail "$f: not a DLL"
    fi
    for dll in $(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        allowed_dll "$dll" "$3" || fail "$f: imports from $dll"
    done
    checked=$((checked + 1))
}

# Names imported from one DLL.
imports_from() {
    $objdump -p "$1" | awk -v dll="$2" '
        /^[[:space:]]*DLL Name: / { cur = $3; next }
        cur == dll && /^[[:space:]]*[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ { print $3 }
        /^$/ { if (cur == dll) cur = "" }'
}

exports() {
    $objdump -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/ { t = 1; next }
        t && /^[[:space:]]*\[/ { print $NF; next } t { t = 0 }'
}

plugins=$(ls "$build"/externals/*."$ext" 2>/dev/null || true)
[ -n "$plugins" ] || { echo "no plug-ins (*.$ext) in $build/externals" >&2; exit 1; }
for p in $plugins; do
    before=$failures
    check_module "$p" yes yes
    ex=$(exports "$p" | tr '\n' ' ')
    [ "$ex" = "main " ] || fail "$p: exports '$ex', expected only main"
    host=$(imports_from "$p" qzhost.dll)
    [ -n "$host" ] || fail "$p: imports nothing from qzhost.dll"
    for name in $host; do
        echo "$api" | grep -qx "$name" || fail "$p: imports $name, which is no host operation"
    done
    imports_from "$p" KERNEL32.dll | grep -qx DisableThreadLibraryCalls ||
        fail "$p: no DLL entry calling DisableThreadLibraryCalls"
    [ "$failures" -ne "$before" ] ||
        echo "ok  $p: $format, exports main, $(echo $host | wc -w) host operations from qzhost.dll"
done
for m in "$build/bin/qzhost.dll yes no" "$build/bin/qz.exe no yes"; do
    before=$failures
    # shellcheck disable=SC2086
    check_module $m
    [ "$failures" -ne "$before" ] || echo "ok  ${m%% *}: $format, no MinGW runtime DLL"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures problem(s) in $checked module(s)" >&2
    exit 1
fi
