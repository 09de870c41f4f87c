#!/bin/sh
# Builds the package the host's users install, from a native build (which
# generates and checks), the two Windows builds and the macOS bundles (whose
# plug-ins it ships):
#   BUILD/package/qz/            the package folder (musescore/: the
#                                MuseScore 3 plugin with its README)
#   BUILD/qz-VERSION-package.zip the same, zipped
# Usage: scripts/package.sh [BUILD]   (make package runs it)
set -eu

build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
qz="$build/bin/qz --externals $build/externals"
out=$build/package/qz

for d in "$build/win64/externals" "$build/win32/externals"; do
    if ! ls "$d"/qz.*.mxe* >/dev/null 2>&1; then
        echo "package: no plug-ins in $d (make windows builds them)" >&2
        exit 1
    fi
done
if ! ls -d "$build"/macos/qz.*.mxo >/dev/null 2>&1; then
    echo "package: no bundles in $build/macos (make macos builds them)" >&2
    exit 1
fi

rm -rf "$build/package"
mkdir -p "$out/externals" "$out/help" "$out/docs/refpages/qz" "$out/examples"

# The six plug-ins, byte for byte as the Windows builds and make macos made
# them.
for f in "$build"/win64/externals/qz.*.mxe64 "$build"/win32/externals/qz.*.mxe; do
    cp "$f" "$out/externals/"
    cmp "$f" "$out/externals/$(basename "$f")"
done
for b in "$build"/macos/qz.*.mxo; do
    cp -R "$b" "$out/externals/"
    diff -r "$b" "$out/externals/$(basename "$b")"
done
count=$(ls "$out/externals" | wc -l)
if [ "$count" -ne 6 ]; then
    echo "package: expected 6 plug-ins, found $count" >&2
    exit 1
fi

# Where each shipped file was tested (NOT RUN where its suite was skipped).
echo "package: where its plug-ins were tested"
sh "$here/scripts/report-tested.sh" "$build" "$out"/externals/*

# Reference pages from the objects' registration and their prose.
for doc in "$here"/subtone/qz.subtone.doc.json "$here"/pitchtally/qz.pitchtally.doc.json; do
    name=$(basename "$doc" .doc.json)
    $qz refpage "$doc" -o "$out/docs/refpages/qz/$name.maxref.xml"
done

cp "$here"/package/help/*.maxhelp "$out/help/"
cp "$here"/package/examples/*.maxpat "$out/examples/"
cp "$here/package/README.md" "$out/README.md"
# The MuseScore 3 plugin, for the users of the host who write scores too.
sh "$here/scripts/package-musescore.sh" "$out/musescore"
cp "$here/LICENSE" "$out/LICENSE"
cp "$build/package-info.json" "$out/package-info.json"

# Every help patcher and example does what its comments say.
for f in "$out"/help/*.maxhelp "$out"/examples/*.maxpat; do
    if ! $qz patch --no-posts --check "$f" >"$build/package-check.log" 2>&1; then
        cat "$build/package-check.log" >&2
        echo "package: $f disagrees with its comments" >&2
        exit 1
    fi
done

version=$($build/bin/qz --version | cut -d' ' -f2)
zip=qz-$version-package.zip
rm -f "$build/$zip"
(cd "$build/package" && cmake -E tar cf "../$zip" --format=zip qz)
echo "package: $out and $build/$zip"
