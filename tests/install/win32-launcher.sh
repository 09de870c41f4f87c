#!/bin/sh
# The launcher of the 32-bit Windows build (scripts/win32-launcher.sh, and
# scripts/win32-vm.sh where it chooses the virtual machine), with a program
# of its own: win32-launcher/hello.c, built here with i686-w64-mingw32-gcc,
# loads win32-launcher/greet.c's DLL and prints what it returns. In one run
# of the launcher (one boot, in the virtual machine) it runs twice, the
# second time exiting with 3; the checks:
#   - both programs' output, standard output and error, comes back in order;
#   - the program's megabyte of read-only data arrives whole (its last byte,
#     which a loader given a short read of the shared folder sees as 0);
#   - the exit code of the first (0) inside, and of the last (3) outside;
#   - the launcher's description names the kernel and the Wine that ran
#     (as `uname -r` and `wine --version` say where the programs ran);
#   - in the virtual machine, a run that does not end within
#     QZ_WIN32_VM_TIMEOUT is stopped and fails, saying so.
# The expected lines are written from hello.c's and greet.c's sources.
#   tests/install/win32-launcher.sh WORK-DIR   (make test-win32 runs it)
# Where no launcher can run, it says why (QZ-SKIP) and exits 0.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
src=$top/tests/install/win32-launcher
[ $# -eq 1 ] || { echo "usage: $0 WORK-DIR" >&2; exit 2; }
work=$1
mkdir -p "$work"
work=$(cd "$work" && pwd)
. "$top/tests/install/checks.sh"

# The build's own flags for 32-bit Windows (cmake/QzFlags.cmake).
flags="-std=c11 -O2 -Wall -Wextra -Werror -ffp-contract=off -msse2 -mfpmath=sse -mstackrealign -static-libgcc"
# shellcheck disable=SC2086
if ! i686-w64-mingw32-gcc $flags -shared -o "$work/greet.dll" "$src/greet.c" ||
    ! i686-w64-mingw32-gcc $flags -o "$work/hello.exe" "$src/hello.c"; then
    echo "FAILED: building the test program"
    exit 1
fi

if ! launcher=$(sh "$top/scripts/win32-launcher.sh" check); then
    echo "QZ-SKIP: $launcher"
    exit 0
fi
echo "launcher: $launcher"

# One run: both programs, the exit code of the first, and where they ran.
# shellcheck disable=SC2016
sh "$top/scripts/win32-launcher.sh" run "$work" sh -c '
    wine=$1
    sh "$wine" win32 ./hello.exe world
    echo "first exit code: $?"
    echo "kernel: $(uname -r)"
    echo "wine: $(/usr/lib/wine/wine --version)"
    sh "$wine" win32 ./hello.exe qz 3
' sh "$top/scripts/wine-run.sh" >"$work/out" 2>&1
rc=$?
tr -d '\r' <"$work/out" | sed 's/^/  | /'
tr -d '\r' <"$work/out" | grep -v '^kernel: \|^wine: ' >"$work/got"
cat >"$work/expected" <<'EOF'
hello, world (12 characters, 32-bit, last byte 2)
exiting with 0
first exit code: 0
hello, qz (9 characters, 32-bit, last byte 2)
exiting with 3
EOF
check "the programs' output comes back, in order" cmp -s "$work/expected" "$work/got"
cmp -s "$work/expected" "$work/got" || diff "$work/expected" "$work/got"
check "the last program's exit code (3) is the launcher's ($rc)" test "$rc" -eq 3
kernel=$(sed -n 's/^kernel: //p' "$work/out" | tr -d '\r')
wine=$(sed -n 's/^wine: //p' "$work/out" | tr -d '\r')
# shellcheck disable=SC2016
check "the launcher names the kernel the programs ran on ($kernel)" \
    sh -c 'case $1 in *"Linux $2 "* | *"Linux $2") ;; *) exit 1 ;; esac' sh "$launcher" "$kernel"
# shellcheck disable=SC2016
check "the launcher names the Wine that ran them ($wine)" \
    sh -c 'case $1 in *"32-bit $2 "*) ;; *) exit 1 ;; esac' sh "$launcher" "$wine"

case $launcher in
    vm:*)
        rc=0
        QZ_WIN32_VM_TIMEOUT=5 sh "$top/scripts/win32-vm.sh" run "$work" sleep 600 >"$work/hung" 2>&1 || rc=$?
        sed 's/^/  | /' "$work/hung"
        check "a machine that does not power off in time fails the run" test "$rc" -ne 0
        check "and the run says why" grep -q 'did not power off within 5 s' "$work/hung"
        ;;
esac

checks_done "win32 launcher"
