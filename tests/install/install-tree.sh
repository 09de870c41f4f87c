#!/bin/sh
# make install into a temporary root: the installed qz runs from there, with
# the installed plug-ins and host library and nothing of the build tree, and
# its manual page holds every command's help.
#   tests/install/install-tree.sh BUILD
set -u
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=/opt/qz
. "$(cd "$(dirname "$0")" && pwd)/checks.sh"
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$root.log" 2>&1 ||
    { cat "$root.log"; echo "install-tree: cmake --install failed"; exit 1; }
rm -f "$root.log"
here=$root$prefix
qz=$here/bin/qz
check "bin/qz is a link into lib/qz" [ "$(readlink "$qz")" = ../lib/qz/bin/qz ]
# Run from elsewhere, with no --externals: the plug-ins must be the
# installed ones (the worked example 440 550 660 -> 110.0459 Hz).
out=$(cd / && "$qz" subtone 440 550 660 2>&1)
check "the installed qz computes with the installed plug-in ($out)" [ "$out" = 110.04588317871094 ]
out=$(cd / && printf '0 60 1\n10 60 1\n600 stop\n' | "$qz" pitchtally --agents 4 --window 100 2>&1)
# Two agents, each hearing only 60 at amplitude 1 in its 100 ms window (by
# hand: probability 1, average amplitude 1, reported at 100 and 110 ms).
check "the installed qz.pitchtally reports ($out)" [ "$out" = "100 60 1 1
110 60 1 1" ]
check "the host library comes from the install" \
    sh -c "ldd '$here/lib/qz/bin/qz' | grep -q '$here/lib/qz/bin/../lib/libqzhost.so'"
for f in externals/qz.subtone.so externals/qz.pitchtally.so lib/libjitlib.so; do
    check "lib/qz/$f installed" [ -f "$here/lib/qz/$f" ]
done
man=$here/share/man/man1/qz.1
check "the manual page starts with its title" sh -c "head -n 1 '$man' | grep -q '^.TH QZ 1'"
for cmd in subtone pitchtally track run patch refpage; do
    check "the manual page holds qz $cmd --help" grep -q "^usage: qz $cmd " "$man"
done
if command -v man >/dev/null 2>&1; then
    check "man reads the page" sh -c "MANWIDTH=80 man -l '$man' 2>/dev/null | grep -q 'qz subtone'"
fi
checks_done install-tree
