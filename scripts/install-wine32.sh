#!/bin/sh
# Installs 32-bit Wine, when missing, to run the 32-bit Windows build's
# programs (make test-win32): Debian's wine32 for the i386 architecture,
# which the package system must know first (dpkg --add-architecture i386).
# wine32 brings the 32-bit loader /usr/lib/wine/wine, beside wine64's
# /usr/lib/wine/wine64; scripts/wine-run.sh calls it by that path, so neither
# the `wine` launcher package nor a registered binfmt handler is needed, and
# it works in a chroot as well. Run as root (as CI does); otherwise it only
# says what is missing. Running it again changes nothing.
set -eu

loader=/usr/lib/wine/wine
installed() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" &&
        [ -x "$loader" ]
}
installed && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing: 32-bit Wine (wine32:i386); as root: dpkg --add-architecture i386;" \
        "apt-get update; apt-get install wine32:i386" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Another apt or dpkg may hold the lock for a while: wait for it.
apt="apt-get -o DPkg::Lock::Timeout=600 -qq"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "adding the i386 architecture to dpkg (for wine32)"
    dpkg --add-architecture i386
fi
echo "installing: wine32:i386"
$apt update
# The i386 libwine must be the version of the installed amd64 one (both are
# Multi-Arch: same): apt picks it from the same release.
$apt install -y --no-install-recommends wine32:i386
installed || {
    echo "wine32:i386 is installed but $loader is missing" >&2
    exit 1
}
