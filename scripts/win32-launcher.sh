#!/bin/sh
# Chooses what runs the 32-bit Windows build's programs (make test-win32):
# 32-bit Wine on this machine where it runs here (scripts/wine-run.sh win32),
# otherwise the same Wine inside the virtual machine of scripts/win32-vm.sh,
# which boots a kernel that executes 32-bit programs and holds a wine32:i386
# of its own. Either way the suite is the build's own ctest, with the same
# tests and goldens, and each test program is started by wine-run.sh.
#   scripts/win32-launcher.sh check     "direct: ..." or "vm: ...", the launcher
#                                       and its versions; else why none runs, exit 1
#   scripts/win32-launcher.sh prepare   makes what the launcher needs: 32-bit Wine
#                                       and its prefix here, or the machine's image
#   scripts/win32-launcher.sh run DIR COMMAND [ARG...]
#   scripts/win32-launcher.sh ctest BUILD [CTEST-ARG...]
# `run` runs COMMAND in DIR where the launcher's Wine is: here, or in the
# virtual machine (DIR and the project's tree shared with it), and exits
# with its exit status. `ctest` runs the build's ctest with the launcher (in the virtual machine as
# one batch: one boot, one Wine server), prints its output, exits with its
# exit status and writes the launcher's description into
# BUILD/tested-launcher.txt for scripts/record-tested.sh. Where neither can
# run, ctest runs here and every test is skipped with the reason.
# QZ_WIN32_LAUNCHER: auto (the default), direct (never the virtual machine)
# or vm (always the virtual machine, even where Wine runs here).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
mode=${QZ_WIN32_LAUNCHER:-auto}
case $mode in
    auto | direct | vm) ;;
    *) echo "QZ_WIN32_LAUNCHER is auto, direct or vm, not $mode" >&2; exit 2 ;;
esac
# Why `prepare` could not make the virtual machine, for `check` to say.
record=${XDG_CACHE_HOME:-$HOME/.cache}/qz-win32-vm.unavailable

check() {
    if [ "$mode" != vm ]; then
        if direct=$(sh "$here/wine-run.sh" win32 --check 2>&1); then
            echo "direct: 32-bit $(echo "$direct" | head -n 1) on this machine, Linux $(uname -r)"
            return 0
        fi
        if [ "$mode" = direct ]; then
            echo "$direct (QZ_WIN32_LAUNCHER=direct: no virtual machine)"
            return 1
        fi
    fi
    if vm=$(sh "$here/win32-vm.sh" status 2>&1); then
        echo "vm: $vm"
        return 0
    fi
    [ ! -s "$record" ] || vm=$(head -n 1 "$record")
    if [ "$mode" = vm ]; then
        echo "the virtual machine cannot run (QZ_WIN32_LAUNCHER=vm): $vm"
    else
        echo "$direct; nor the virtual machine instead: $vm"
    fi
    return 1
}

prepare() {
    if [ "$mode" != vm ]; then
        sh "$here/install-wine32.sh" --optional
        if sh "$here/wine-run.sh" win32 --check >/dev/null 2>&1; then
            # The prefix, made before the build lists the programs' tests.
            sh "$here/wine-run.sh" win32 cmd /c exit
            return 0
        fi
        [ "$mode" = auto ] || return 0
        echo "32-bit Wine cannot run here: the win32 suite runs in a virtual machine (scripts/win32-vm.sh)"
    fi
    rm -f "$record"
    why=""
    if ! sh "$here/install-deps.sh" win32-vm; then
        why="the virtual machine's tools could not be installed (scripts/install-deps.sh win32-vm)"
    else
        # (its progress as it comes; its error, the last line, kept)
        err=$(mktemp)
        if ! sh "$here/win32-vm.sh" image 2>"$err"; then
            cat "$err" >&2
            why=$(grep '^win32-vm: ' "$err" | tail -n 1 | sed 's/^win32-vm: //')
            why="the virtual machine's image could not be built (${why:-scripts/win32-vm.sh image failed})"
        fi
        rm -f "$err"
    fi
    if [ -n "$why" ]; then
        mkdir -p "$(dirname "$record")"
        echo "$why" >"$record"
        echo "$why: the win32 tests will be skipped"
    fi
}

# The launcher, as check says it, into $launcher, and 0 or 1 into $status.
choose() {
    status=0
    launcher=$(check) || status=$?
}

# run DIR COMMAND...: COMMAND in DIR with the launcher of choose; where none
# can run, here, with the reason for wine-run.sh to skip each program with.
run() {
    dir=$1
    shift
    if [ "$status" -ne 0 ]; then
        cd "$dir"
        QZ_WINE32_SKIP_REASON=$launcher exec "$@"
    fi
    case $launcher in
        direct:*) cd "$dir" && exec "$@" ;;
    esac
    # The machine emulates the processor, several times slower than this
    # one: a per-test time limit (ctest's --timeout N) is tripled in it.
    n=$#
    while [ "$n" -gt 0 ]; do
        a=$1
        shift
        n=$((n - 1))
        if [ "$a" = --timeout ] && [ "$n" -gt 0 ]; then
            case $1 in
                '' | *[!0-9]*) ;;
                *) set -- "$@" "$a" "$(($1 * 3))"; shift; n=$((n - 1)); continue ;;
            esac
        fi
        set -- "$@" "$a"
    done
    exec sh "$here/win32-vm.sh" run "$dir" "$@"
}

case ${1:-} in
    check) check ;;
    prepare) prepare ;;
    run)
        [ $# -ge 3 ] || { echo "usage: $0 run DIR COMMAND [ARG...]" >&2; exit 2; }
        shift
        choose
        run "$@"
        ;;
    ctest)
        [ $# -ge 2 ] || { echo "usage: $0 ctest BUILD [CTEST-ARG...]" >&2; exit 2; }
        build=$2
        shift 2
        choose
        echo "win32 launcher: $launcher"
        if [ "$status" -ne 0 ]; then
            echo "$launcher" >"$build/tested-launcher.txt"
        else
            echo "${launcher#*: }" >"$build/tested-launcher.txt"
        fi
        run "$build" ctest "$@"
        ;;
    *) echo "usage: $0 check | prepare | run DIR COMMAND [ARG...] | ctest BUILD [CTEST-ARG...]" >&2; exit 2 ;;
esac
