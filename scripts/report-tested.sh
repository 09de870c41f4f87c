#!/bin/sh
# Says where each plug-in file was tested, from the records that make
# test-windows and make test-win32 leave beside the suites they ran
# (scripts/record-tested.sh), matched by SHA-256, so that a file rebuilt
# since its run counts as untested:
#   scripts/report-tested.sh BUILD FILE...
# A .mxe64 file is looked up in BUILD/win64/tested.txt, a .mxo bundle (by
# the SHA-256 of its binary) once per slice in BUILD/macos/tested-x86_64.txt
# and BUILD/macos/tested-arm64.txt, any other in BUILD/win32/tested.txt. A file whose suite was skipped as a whole, or
# whose bytes no record names, is reported NOT RUN. scripts/package.sh
# prints this for the files it ships.
set -eu
build=$1
shift
# report LABEL RECORD BYTES FILE: one line for the file (or slice) LABEL,
# whose bytes the record names as FILE.
report() {
    label=$1 rec=$2
    sum=$(sha256sum "$3" | cut -d ' ' -f 1)
    if [ -f "$rec" ] && grep -qx "plugin: $sum $4" "$rec"; then
        counts=$(grep '^tests: ' "$rec")
        passed=$(echo "$counts" | sed -n 's/.*passed: \([0-9]*\).*/\1/p')
        if [ "${passed:-0}" -gt 0 ]; then
            echo "  $label: suite run under $(sed -n 's/^launcher: //p' "$rec") ($counts)"
        else
            echo "  $label: NOT RUN, every test skipped ($counts)"
        fi
        sed -n 's/^skipped: /    skipped: /p' "$rec"
    else
        echo "  $label: NOT RUN, no test run of these bytes is recorded (make test-windows, make test-macos and make test-macos-arm64 run the suites)"
    fi
}

for f in "$@"; do
    name=$(basename "$f")
    case $name in
        *.mxe64) report "$name" "$build/win64/tested.txt" "$f" "$name" ;;
        *.mxo)
            for arch in x86_64 arm64; do
                report "$name ($arch slice)" "$build/macos/tested-$arch.txt" \
                    "$f/Contents/MacOS/$(basename "$f" .mxo)" "$name"
            done ;;
        *) report "$name" "$build/win32/tested.txt" "$f" "$name" ;;
    esac
done
