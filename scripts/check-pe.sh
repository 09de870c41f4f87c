#!/bin/sh
# Checks the Windows modules of a MinGW build with objdump:
#   scripts/check-pe.sh BUILD_DIR win64|win32
# Each plug-in (externals/*.mxe64 or *.mxe) must be a PE DLL for the right
# machine, export `main` and nothing else, get its DLL entry from
# module_entry.cpp (which calls DisableThreadLibraryCalls), and import only
# what the host provides: from MaxAPI.dll only the host's operations listed
# below, from jitlib.dll only its numeric routines, and otherwise only
# KERNEL32.dll and the C runtime. A 64-bit plug-in must not import the
# variadic object_method (the host's 64-bit headers call object_method_imp).
# The embedded host's MaxAPI.dll and jitlib.dll must export every one of
# those names, and with qz.exe need no MinGW runtime DLL.
set -eu
build=$1
kind=$2
case $kind in
    win64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 magic=020b ext=mxe64 ;;
    win32) objdump=i686-w64-mingw32-objdump format=pei-i386 magic=010b ext=mxe ;;
    *) echo "usage: $0 BUILD_DIR win64|win32" >&2; exit 2 ;;
esac

# What the host's MaxAPI.dll and jitlib.dll export and our plug-ins may
# import (measured against the host's own import libraries).
maxapi_names="atom_getfloat atom_getlong atom_gettype atom_setfloat atom_setlong
attr_addfilter_clip attr_args_process attr_offset_new class_addattr class_addmethod
class_attr_addattr_format class_attr_addattr_parse class_attr_get class_new
class_register clock_delay clock_new clock_unset floatin floatout freeobject gensym
gensym_tr intout object_alloc object_error object_method object_method_imp
object_post outlet_float stdinletinfo sysmem_freeptr sysmem_newptr"
jitlib_names="log2 round jit_math_log2 jit_math_round"

failures=0
checked=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

in_list() { # NAME LIST
    for n in $2; do [ "$n" = "$1" ] && return 0; done
    return 1
}

# The C runtime: MinGW's msvcrt.dll, or the universal CRT of an MSVC build.
c_runtime() {
    case $(echo "$1" | tr 'A-Z' 'a-z') in
        msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll | vcruntime140*.dll) return 0 ;;
        *) return 1 ;;
    esac
}

# DLLs a module may import. plugin: the host's two modules, KERNEL32.dll and
# the C runtime. host: system DLLs and the C runtime. tool: as host, plus
# the embedded host's modules.
allowed_dll() { # DLL ROLE
    c_runtime "$1" && return 0
    case $(echo "$1" | tr 'A-Z' 'a-z') in
        kernel32.dll) return 0 ;;
        maxapi.dll | jitlib.dll) [ "$2" != host ] ;;
        user32.dll | advapi32.dll | shell32.dll | ole32.dll) [ "$2" != plugin ] ;;
        *) return 1 ;;
    esac
}

# check_module FILE IS_DLL ROLE
check_module() {
    f=$1
    dump=$($objdump -p "$f") || { fail "$f: objdump cannot read it"; return; }
    echo "$dump" | grep -q "file format $format" || fail "$f: not $format"
    echo "$dump" | grep -q "^Magic[[:space:]]*$magic" || fail "$f: optional header magic is not $magic"
    if [ "$2" = yes ]; then
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
    check_module "$p" yes plugin
    ex=$(exports "$p" | tr '\n' ' ')
    [ "$ex" = "main " ] || fail "$p: exports '$ex', expected only main"
    host=$(imports_from "$p" MaxAPI.dll)
    [ -n "$host" ] || fail "$p: imports nothing from MaxAPI.dll"
    for name in $host; do
        in_list "$name" "$maxapi_names" || fail "$p: imports $name from MaxAPI.dll, which the host does not export"
    done
    if [ "$kind" = win64 ] && in_list object_method "$host"; then
        fail "$p: imports the variadic object_method; the 64-bit host is called through object_method_imp"
    fi
    jit=$(imports_from "$p" jitlib.dll)
    for name in $jit; do
        in_list "$name" "$jitlib_names" || fail "$p: imports $name from jitlib.dll, which the host does not export"
    done
    imports_from "$p" KERNEL32.dll | grep -qx DisableThreadLibraryCalls ||
        fail "$p: no DLL entry calling DisableThreadLibraryCalls"
    [ "$failures" -ne "$before" ] ||
        echo "ok  $p: $format, exports main, imports $(echo $host | wc -w) names from MaxAPI.dll, $(echo $jit | wc -w) from jitlib.dll"
done

# The embedded host's modules export everything a plug-in may import.
for m in "MaxAPI.dll:$maxapi_names" "jitlib.dll:$jitlib_names"; do
    f=$build/bin/${m%%:*}
    before=$failures
    check_module "$f" yes host
    ex=$(exports "$f")
    for name in ${m#*:}; do
        echo "$ex" | grep -qx "$name" || fail "$f: does not export $name"
    done
    [ "$failures" -ne "$before" ] || echo "ok  $f: $format, exports the host's names, no MinGW runtime DLL"
done
before=$failures
check_module "$build/bin/qz.exe" no tool
[ "$failures" -ne "$before" ] || echo "ok  $build/bin/qz.exe: $format, no MinGW runtime DLL"

if [ "$failures" -ne 0 ]; then
    echo "$failures problem(s) in $checked module(s)" >&2
    exit 1
fi
