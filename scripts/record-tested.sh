#!/bin/sh
# Records what a cross build's suite ran, after its ctest run wrote
# BUILD/tested-junit.xml (ctest --output-junit):
#   scripts/record-tested.sh BUILD win64|win32|macos-x86_64|macos-arm64
# Prints the skipped tests' reasons and writes BUILD/tested.txt: the
# launcher, the counts, the reasons, and the SHA-256 of each plug-in of the
# build, from which scripts/package.sh tells where each file it ships was
# tested (or that its tests were skipped).
set -eu
build=$1
kind=$2
here=$(cd "$(dirname "$0")" && pwd)
junit=$build/tested-junit.xml
record=$build/tested.txt
case $kind in
    win64) ext=mxe64 launcher=$(/usr/lib/wine/wine64 --version 2>&1 || true) ;;
    # (the launcher that ran the suite, as scripts/win32-launcher.sh chose it:
    # 32-bit Wine here, or in the virtual machine with its kernel)
    win32)
        ext=mxe
        if [ -s "$build/tested-launcher.txt" ]; then
            launcher=$(cat "$build/tested-launcher.txt")
        else
            launcher=$(sh "$here/wine-run.sh" win32 --check 2>&1 || true)
        fi ;;
    # BUILD is the folder of the bundles (build/macos), with one record per
    # slice: tested-x86_64.txt, tested-arm64.txt.
    macos-x86_64 | macos-arm64)
        arch=${kind#macos-} ext=mxo
        junit=$build/tested-junit-$arch.xml record=$build/tested-$arch.txt
        if [ "$arch" = x86_64 ]; then
            launcher="the native qz and test programs (the $arch slice through the embedded host's Mach-O loader)"
        else
            launcher="the arm64 Linux qz and test programs under $(qemu-aarch64 --version 2>&1 | head -n 1) (the $arch slice through the embedded host's Mach-O loader)"
        fi ;;
    *) echo "usage: $0 BUILD win64|win32|macos-x86_64|macos-arm64" >&2; exit 2 ;;
esac
[ -f "$junit" ] || { echo "$junit: no ctest record (ctest --output-junit)" >&2; exit 1; }

attr() { sed -n "s/^[[:space:]]*$1=\"\([0-9]*\)\".*/\1/p" "$junit" | head -n 1; }
tests=$(attr tests)
failures=$(attr failures)
skipped=$(attr skipped)
passed=$((tests - failures - skipped))
# (the record is XML: its entities are read back as the characters)
reasons=$(grep -o 'QZ-SKIP: .*' "$junit" | sed -e 's/^QZ-SKIP: //' -e 's/&gt;/>/g' -e 's/&lt;/</g' \
    -e 's/&quot;/"/g' -e "s/&apos;/'/g" -e 's/&amp;/\&/g' | sort | uniq -c || true)

{
    echo "suite: $kind ctest in $build, $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "launcher: $(echo "$launcher" | head -n 1)"
    echo "tests: $tests, passed: $passed, failed: $failures, skipped: $skipped"
    [ -z "$reasons" ] || echo "$reasons" | sed 's/^ *\([0-9]*\) /skipped: \1 x /'
    if [ "$ext" = mxo ]; then
        for b in "$build"/*.mxo; do
            name=$(basename "$b" .mxo)
            echo "plugin: $(sha256sum "$b/Contents/MacOS/$name" | cut -d ' ' -f 1) $name.mxo"
        done
    else
        for f in "$build"/externals/*."$ext"; do
            echo "plugin: $(sha256sum "$f" | cut -d ' ' -f 1) $(basename "$f")"
        done
    fi
} >"$record"

echo "$kind suite: $tests tests, $passed passed, $skipped skipped"
[ -z "$reasons" ] || echo "$reasons" | sed 's/^ *\([0-9]*\) /  skipped: \1 x /'
