#!/bin/sh
# The install scripts on a day the package mirror is in the middle of a
# sync. It adds to apt's sources a repository served on 127.0.0.1 whose
# Release lists a Packages file of another size, which makes `apt-get
# update` fail exactly as such a mirror does ("File has unexpected size
# ... Mirror sync in progress?", exit 100), and it pins the i386 libwine
# away, so that wine32:i386 cannot be installed, as when the i386 index
# that holds the matching version is the one that fails. Then:
#   - install-deps.sh retries the update, goes on, says so, and installs;
#   - a package apt cannot find still fails, with apt's own message;
#   - install-wine32.sh --optional exits 0, says why, keeps the reason and
#     takes away the i386 architecture it added; without --optional it fails;
#   - 32-bit programs are skipped with that reason, through wine-run.sh,
#     ctest's skip rule, record-tested.sh and report-tested.sh, which says
#     NOT RUN for the 32-bit plug-in.
# It changes the machine's apt configuration, so it runs only in a throwaway
# root (scripts/fresh-root.sh sets QZ_FRESH_ROOT): make test-install.
set -u
if [ "${QZ_FRESH_ROOT:-}" != 1 ] || [ "$(id -u)" -ne 0 ]; then
    echo "apt-failures: runs as root in a fresh root only (make test-install)" >&2
    exit 2
fi
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top" || exit 1
work=$(mktemp -d)
server=""
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
. "$top/tests/install/checks.sh"
has() { grep -qF -- "$2" "$1"; }
count() { grep -cF -- "$2" "$1" || true; }
# Runs COMMAND with its output in $work/NAME.out and its exit status in
# $work/NAME.rc, and shows the output.
run() {
    name=$1
    shift
    rc=0
    "$@" >"$work/$name.out" 2>&1 || rc=$?
    echo "$rc" >"$work/$name.rc"
    sed "s/^/  $name| /" "$work/$name.out"
}
rc_is() { test "$(cat "$work/$1.rc")" "$2" "$3"; }

# The normal path first: python3 serves the broken repository.
run python3 sh scripts/install-deps.sh python3
check "install-deps.sh installs from a sound mirror" rc_is python3 -eq 0

# A repository whose Release disagrees with its Packages file.
mkdir -p "$work/repo"
printf 'Package: qz-nothing\nVersion: 1\nArchitecture: all\nFilename: qz-nothing.deb\nSize: 1\nDescription: none\n\n' \
    >"$work/repo/Packages"
{
    echo "Origin: qz-test"
    echo "Date: $(date -Ru)"
    echo "SHA256:"
    echo " $(printf '0%.0s' $(seq 64)) 999 Packages"
} >"$work/repo/Release"
python3 - "$work/repo" "$work/port" <<'EOF' &
import functools, http.server, sys

class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

handler = functools.partial(Quiet, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
with open(sys.argv[2] + ".part", "w") as f:
    f.write(str(server.server_port))
import os
os.rename(sys.argv[2] + ".part", sys.argv[2])
server.serve_forever()
EOF
server=$!
i=0
while [ ! -s "$work/port" ] && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
done
[ -s "$work/port" ] || { echo "apt-failures: the repository server did not start" >&2; exit 1; }
echo "deb [trusted=yes] http://127.0.0.1:$(cat "$work/port")/ ./" \
    >/etc/apt/sources.list.d/qz-mirror-in-sync.list

run update apt-get -qq update
check "the repository makes apt-get update fail as a syncing mirror does" rc_is update -ne 0
check "... with apt's message for it" grep -q "File has unexpected size ([0-9]* != 999). Mirror sync in progress?" "$work/update.out"

# install-deps.sh: three tries, then one line, then the install.
export QZ_APT_UPDATE_TRIES=3 QZ_APT_UPDATE_PAUSE=0
run deps sh scripts/install-deps.sh pkg-config
check "install-deps.sh goes on after apt-get update fails" rc_is deps -eq 0
check "... after trying it three times" [ "$(count "$work/deps.out" "apt-get update failed (try ")" -eq 2 ]
check "... and says so in one line, with apt's reason" [ "$(count "$work/deps.out" \
    "apt-get update failed 3 times; going on with the package lists this machine has (E: Failed to fetch http://127.0.0.1:")" -eq 1 ]
check "... and installs the package from the lists it has" \
    sh -c "dpkg-query -W -f='\${Status}' pkg-config | grep -q 'install ok installed'"

run missing sh scripts/install-deps.sh qz-no-such-package
check "an install apt cannot satisfy still fails" rc_is missing -ne 0
check "... with apt's own message" has "$work/missing.out" "E: Unable to locate package qz-no-such-package"

# 32-bit Wine: the matching i386 libwine is not to be had.
printf 'Package: libwine:i386\nPin: version *\nPin-Priority: -1\n' >/etc/apt/preferences.d/qz-no-i386-libwine
record=$HOME/.cache/qz-wine32.unavailable
run wine32 sh scripts/install-wine32.sh --optional
check "install-wine32.sh --optional goes on when wine32:i386 cannot be installed" rc_is wine32 -eq 0
check "... says why in one line" [ "$(count "$work/wine32.out" \
    "32-bit Wine not installed, its tests will be skipped: apt-get install wine32:i386 failed: E: ")" -eq 1 ]
# (apt names the first unmet dependency it meets: libwine:i386 here, or,
# while the real mirror's i386 index is out of step too, another one.)
check "... shows apt's own message" grep -q ":i386 : Depends: " "$work/wine32.out"
check "... keeps the reason for the launcher, with the unmet dependency" \
    grep -q "^apt-get install wine32:i386 failed: E: .* (.*:i386 : Depends: .*)$" "$record"
check "... and takes away the i386 architecture it added" \
    sh -c '! dpkg --print-foreign-architectures | grep -qx i386'
run wine32-strict sh scripts/install-wine32.sh
check "install-wine32.sh without --optional fails" rc_is wine32-strict -ne 0

run launcher sh scripts/wine-run.sh win32 --check
check "wine-run.sh win32 --check fails" rc_is launcher -ne 0
check "... naming the install failure" has "$work/launcher.out" \
    "32-bit Wine could not be installed (apt-get install wine32:i386 failed: E: "

# The win32 suite's path: the launcher under ctest's skip rule (as
# tests/CMakeLists.txt registers the cross builds' tests), the record, the
# package's report.
run cmake sh scripts/install-deps.sh cmake
mkdir -p "$work/proj" "$work/build/win32/externals"
cat >"$work/proj/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(skips NONE)
enable_testing()
foreach(t one two)
  add_test(NAME \${t} COMMAND sh $top/scripts/wine-run.sh win32 \${t}.exe)
  set_tests_properties(\${t} PROPERTIES SKIP_REGULAR_EXPRESSION "QZ-SKIP: ")
endforeach()
EOF
cmake -S "$work/proj" -B "$work/build/win32" >/dev/null
run ctest sh -c "cd '$work/build/win32' && ctest --output-on-failure --output-junit tested-junit.xml"
check "every 32-bit test is a skip, not a failure" rc_is ctest -eq 0
check "... and each one is skipped" [ "$(count "$work/ctest.out" "***Skipped")" -eq 2 ]
echo "not a plug-in" >"$work/build/win32/externals/qz.subtone.mxe"
run record sh scripts/record-tested.sh "$work/build/win32" win32
check "the record counts no test passed" has "$work/build/win32/tested.txt" "tests: 2, passed: 0, failed: 0, skipped: 2"
check "... and keeps the reason" has "$work/build/win32/tested.txt" \
    "skipped: 2 x 32-bit Wine could not be installed (apt-get install wine32:i386 failed: E: "
run report sh scripts/report-tested.sh "$work/build" "$work/build/win32/externals/qz.subtone.mxe"
check "the package says NOT RUN for the .mxe" has "$work/report.out" "qz.subtone.mxe: NOT RUN, every test skipped"

checks_done "apt-failures"
