#!/bin/sh
# Says where each plug-in file was tested, from the records that make
# test-windows and make test-win32 leave beside the suites they ran
# (scripts/record-tested.sh), matched by SHA-256, so that a file rebuilt
# since its run counts as untested:
#   scripts/report-tested.sh BUILD FILE...
# A .mxe64 file is looked up in BUILD/win64/tested.txt, a .mxo bundle (by
# the SHA-256 of its binary) in BUILD/macos/tested.txt, any other in
# BUILD/win32/tested.txt. A file whose suite was skipped as a whole, or
# whose bytes no record names, is reported NOT RUN. scripts/package.sh
# prints this for the files it ships.
set -eu
build=$1
shift
for f in "$@"; do
    name=$(basename "$f")
    bytes=$f
    case $name in
        *.mxe64) rec=$build/win64/tested.txt ;;
        *.mxo) rec=$build/macos/tested.txt bytes=$f/Contents/MacOS/$(basename "$f" .mxo) ;;
        *) rec=$build/win32/tested.txt ;;
    esac
    sum=$(sha256sum "$bytes" | cut -d ' ' -f 1)
    if [ -f "$rec" ] && grep -qx "plugin: $sum $name" "$rec"; then
        counts=$(grep '^tests: ' "$rec")
        passed=$(echo "$counts" | sed -n 's/.*passed: \([0-9]*\).*/\1/p')
        if [ "${passed:-0}" -gt 0 ]; then
            echo "  $name: suite run under $(sed -n 's/^launcher: //p' "$rec") ($counts)"
        else
            echo "  $name: NOT RUN, every test skipped ($counts)"
        fi
        sed -n 's/^skipped: /    skipped: /p' "$rec"
    else
        echo "  $name: NOT RUN, no test run of these bytes is recorded (make test-windows and make test-macos run the suites)"
    fi
done
