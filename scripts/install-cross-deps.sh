#!/bin/sh
# Installs the Debian packages of the cross builds, when missing: the
# MinGW-w64 compilers (posix threads) for 64- and 32-bit Windows, wine64 to
# run the 64-bit Windows programs, the multilib compiler for 32-bit x86 Linux,
# qemu-user to run its programs (qemu-i386), and GoogleTest's sources, which
# the cross builds compile for their own targets.
# Run as root (as CI does); otherwise it only says what is missing.
set -eu

packages="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 g++-multilib qemu-user googletest"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages:$missing (run as root, or install them with apt-get)" >&2
    exit 1
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing
