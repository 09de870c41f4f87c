#!/bin/sh
# Puts the MuseScore 3 plugin (musescore/: the QML file, the part reader it
# imports and its README) into DEST, the folder a MuseScore user copies into
# MuseScore's Plugins folder. qz itself is not copied: it runs from its
# build tree, beside its plug-ins and libraries.
# Usage: scripts/package-musescore.sh DEST
#   (scripts/package.sh and make musescore-package run it)
set -eu

dest=$1
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$dest"
for f in qz-virtual-fundamental.qml qzpart.js qzenter.js README.md; do
    cp "$here/musescore/$f" "$dest/$f"
done
