#!/bin/sh
# Installs 32-bit Wine, when missing, to run the 32-bit Windows build's
# programs (make test-win32): Debian's wine32 for the i386 architecture,
# which the package system must know first (dpkg --add-architecture i386).
# wine32 brings the 32-bit loader /usr/lib/wine/wine, beside wine64's
# /usr/lib/wine/wine64; scripts/wine-run.sh calls it by that path, so neither
# the `wine` launcher package nor a registered binfmt handler is needed, and
# it works in a chroot as well. Run as root (as CI does); otherwise it only
# says what is missing. Running it again changes nothing.
#   scripts/install-wine32.sh [--optional]
# With --optional (make check), 32-bit Wine is treated like a kernel that
# cannot run it: when it cannot be installed (the i386 index of a mirror in
# the middle of a sync, say, or a wine32 whose version no longer matches
# the installed amd64 wine), the reason is kept in the file
# $XDG_CACHE_HOME/qz-wine32.unavailable (~/.cache by default), where
# scripts/wine-run.sh finds it and skips each 32-bit test with it, and the
# script exits 0. An i386 architecture it added for nothing is taken away
# again, so that later `apt-get update`s do not fetch its index.
set -eu
optional=0
case ${1:-} in
    --optional) optional=1 ;;
    "") ;;
    *) echo "usage: $0 [--optional]" >&2; exit 2 ;;
esac
here=$(dirname "$0")

loader=/usr/lib/wine/wine
record=${XDG_CACHE_HOME:-$HOME/.cache}/qz-wine32.unavailable
installed() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" &&
        [ -x "$loader" ]
}
if installed; then
    rm -f "$record"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "missing: 32-bit Wine (wine32:i386); as root: dpkg --add-architecture i386;" \
        "apt-get update; apt-get install wine32:i386" >&2
    [ "$optional" = 1 ] && exit 0
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Another apt or dpkg may hold the lock for a while: wait for it.
lock="-o DPkg::Lock::Timeout=600"
added=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "adding the i386 architecture to dpkg (for wine32)"
    dpkg --add-architecture i386
    added=1
fi
echo "installing: wine32:i386"
# shellcheck disable=SC2086
sh "$here/apt-update.sh" $lock
# The i386 libwine must be the version of the installed amd64 one (both are
# Multi-Arch: same): apt picks it from the same release. apt's own messages
# go to stderr as they come; its first error is the reason kept.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
# shellcheck disable=SC2086
apt-get $lock -q install -y --no-install-recommends wine32:i386 >"$log" 2>&1 || status=$?
cat "$log" >&2
if [ "$status" -eq 0 ] && installed; then
    rm -f "$record"
    exit 0
fi
if [ "$status" -eq 0 ]; then
    why="wine32:i386 is installed but $loader is missing"
else
    why="apt-get install wine32:i386 failed: $(grep -m 1 '^E:' "$log" || tail -n 1 "$log")"
    # The unmet dependency, where apt names one, says more than its "E:".
    unmet=$(grep -m 1 ' Depends: ' "$log" | sed 's/^[[:space:]]*//' || true)
    [ -z "$unmet" ] || why="$why ($unmet)"
fi
if [ "$added" = 1 ] && ! dpkg-query -W -f='${Package}\n' '*:i386' 2>/dev/null | grep -q .; then
    dpkg --remove-architecture i386 || true
fi
[ "$optional" = 1 ] || { echo "$why" >&2; exit 1; }
mkdir -p "$(dirname "$record")"
echo "$why" >"$record"
echo "32-bit Wine not installed, its tests will be skipped: $why"
exit 0
