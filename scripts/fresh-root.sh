#!/usr/bin/env bash
# Runs COMMAND as root in a fresh, minimal Debian root, in a clone of the
# committed tree (HEAD of the repository the script is started in), as a new
# user would on a fresh machine:
#   scripts/fresh-root.sh make demo
#
# The root is this machine's Debian release, made with
# `debootstrap --variant=minbase` from the mirror of this machine's own apt
# sources, with only make and git added (what the README assumes). It is made
# once and kept as a pristine tarball in QZ_FRESH_ROOT_CACHE (default
# /var/cache/qz-fresh-root, outside the clone); every run unpacks a new root
# from it in QZ_FRESH_ROOT_DIR (default /var/tmp), so nothing one run
# installs is there for the next. QZ_FRESH_ROOT_REFRESH=1 makes the tarball
# again.
#
# The command runs in a mount and PID namespace of its own, with /proc,
# /dev and a tmpfs on /dev/shm (Wine's shared memory) mounted, the machine's
# apt sources, resolver and certificate authorities copied in, HOME=/root
# and a C.UTF-8 locale (CI, the machine's certificate settings and the
# QZ_WIN32_* settings of the 32-bit Windows launcher are passed on when
# set); the cache of the virtual machine that runs the 32-bit Windows
# suite (scripts/win32-vm.sh) is this machine's, mounted into the root.
# When it ends, whatever it left running is ended with the namespace, the
# mounts go with it, and the root is removed. The exit status is the
# command's. Needs root, debootstrap and unshare (util-linux).
set -euo pipefail

usage() {
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
}
die() {
    echo "fresh-root: $*" >&2
    exit 1
}
[ $# -gt 0 ] || usage
[ "$(id -u)" -eq 0 ] || die "must run as root (debootstrap, chroot and mounts)"
command -v debootstrap >/dev/null 2>&1 || die "debootstrap not found (Debian package debootstrap)"
command -v unshare >/dev/null 2>&1 || die "unshare not found (Debian package util-linux)"

top=$(git rev-parse --show-toplevel 2>/dev/null) ||
    top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$top" rev-parse --verify HEAD)

. /etc/os-release
release=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}
arch=$(dpkg --print-architecture)
# The mirror serving this release's main component in the machine's own apt
# sources (one-line or deb822), as apt itself reads them.
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
    awk -v r="$release" '$2 == r && $3 == "main" { print $1; exit }')
[ -n "$mirror" ] || die "no apt source for $release main on this machine"

cache=${QZ_FRESH_ROOT_CACHE:-/var/cache/qz-fresh-root}
tarball=$cache/debian-$release-$arch-minbase-make-git.tar
mkdir -p "$cache"

# The pristine root, made once under a lock (runs may start side by side).
(
    flock 9
    if [ "${QZ_FRESH_ROOT_REFRESH:-0}" = 1 ] || [ ! -s "$tarball" ]; then
        echo "fresh-root: making the pristine $release root from $mirror"
        tmp=$(mktemp -d "$cache/make.XXXXXX")
        trap 'rm -rf --one-file-system "$tmp" "$tarball.part"' EXIT
        debootstrap --variant=minbase --arch="$arch" --include=make,git \
            "$release" "$tmp" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
            die "debootstrap failed; see $cache/debootstrap.log"
        # As a fresh machine comes: no package lists, no downloaded packages.
        rm -rf "$tmp"/var/lib/apt/lists/* "$tmp"/var/cache/apt/*.bin
        find "$tmp/var/cache/apt/archives" -name '*.deb' -delete
        chmod 755 "$tmp"
        tar -C "$tmp" --numeric-owner -cpf "$tarball.part" .
        mv "$tarball.part" "$tarball"
    fi
) 9>"$cache/lock"

workdir=${QZ_FRESH_ROOT_DIR:-/var/tmp}
mkdir -p "$workdir"
root=$(mktemp -d "$workdir/qz-root.XXXXXX")
# The mounts live in the command's namespace only, so none of them is seen
# here; --one-file-system keeps rm out of anything mounted all the same.
cleanup() {
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
trap 'echo "fresh-root: failed at line $LINENO" >&2' ERR
trap 'exit 130' INT
trap 'exit 143' TERM

tar -C "$root" --numeric-owner -xpf "$tarball"
# (mktemp's mode: apt's download user must reach the root's folders)
chmod 755 "$root"

# This machine's apt sources (and the keyrings they name) and resolver.
rm -rf "$root/etc/apt/sources.list" "$root/etc/apt/sources.list.d"
mkdir -p "$root/etc/apt/sources.list.d"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    cp "$f" "$root$f"
    for key in $(sed -n -e 's/^Signed-By:[[:space:]]*\(\/[^[:space:]]*\).*/\1/p' \
        -e 's/.*signed-by=\(\/[^][:space:]]*\).*/\1/p' "$f"); do
        if [ -f "$key" ] && [ ! -e "$root$key" ]; then
            mkdir -p "$root$(dirname "$key")"
            cp "$key" "$root$key"
        fi
    done
done
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
cp /etc/hosts "$root/etc/hosts"

# This machine's own certificate authorities, as a machine of its kind comes
# with them: a network that inspects TLS (npm's registry, say) is then
# trusted in the root as it is here. The local ones go where
# update-ca-certificates finds them, so the bundle that the root's
# ca-certificates package builds holds them too; until then the machine's
# bundle stands in for it.
if [ -d /usr/local/share/ca-certificates ]; then
    mkdir -p "$root/usr/local/share/ca-certificates"
    cp -RL /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
fi
if [ -f /etc/ssl/certs/ca-certificates.crt ]; then
    mkdir -p "$root/etc/ssl/certs"
    cp -L /etc/ssl/certs/ca-certificates.crt "$root/etc/ssl/certs/ca-certificates.crt"
fi

# The committed tree, cloned from outside (the root has no access to it).
git clone -q --no-checkout "$top" "$root/root/qz"
git -C "$root/root/qz" cat-file -e "$commit^{commit}" 2>/dev/null ||
    git -C "$root/root/qz" fetch -q "$top" "$commit"
git -C "$root/root/qz" -c advice.detachedHead=false checkout -q --detach "$commit"
echo "fresh-root: $(git -C "$root/root/qz" log -1 --format='%h %s') in $root"

# QZ_FRESH_ROOT tells a command that it runs in a throwaway root (a test
# that changes the apt configuration needs one, and a root cannot be made
# again inside it).
env_args=(HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 TERM="${TERM:-dumb}"
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin QZ_FRESH_ROOT=1)
[ -n "${CI+set}" ] && env_args+=(CI="$CI")
# The choice of the 32-bit Windows launcher (scripts/win32-launcher.sh,
# scripts/win32-vm.sh), passed on as set.
for var in QZ_WIN32_LAUNCHER QZ_WIN32_VM_ACCEL QZ_WIN32_VM_TIMEOUT QZ_WIN32_VM_MEMORY QZ_WIN32_VM_CPUS; do
    [ -n "${!var:-}" ] && env_args+=("$var=${!var}")
done
# Where this machine tells its programs to find that bundle (Node's and npm's
# among them), passed on as set.
for var in NODE_EXTRA_CA_CERTS SSL_CERT_FILE SSL_CERT_DIR CURL_CA_BUNDLE GIT_SSL_CAINFO \
    REQUESTS_CA_BUNDLE npm_config_cafile NPM_CONFIG_CAFILE; do
    [ -n "${!var:-}" ] && env_args+=("$var=${!var}")
done
# Node reads no system store of its own: give it the bundle all the same.
[ -z "${NODE_EXTRA_CA_CERTS:-}" ] && [ -f "$root/etc/ssl/certs/ca-certificates.crt" ] &&
    env_args+=(NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt)

# The image of the virtual machine that runs the 32-bit Windows suite where
# this machine cannot (scripts/win32-vm.sh), kept across roots as the
# pristine tarball is: this machine's cache folder for it is mounted at the
# root's own /var/cache/qz-win32-vm, so that only the first run builds it.
vm_cache=${QZ_WIN32_VM_CACHE:-/var/cache/qz-win32-vm}
mkdir -p "$vm_cache" "$root/var/cache/qz-win32-vm"

# The shell that mounts and waits for the command is the PID namespace's
# first process: when it ends, the kernel ends whatever the command left
# running (a Wine server kept for later, say), and the mounts go with the
# mount namespace.
status=0
unshare --mount --pid --fork --propagation private -- /bin/sh -eu -c '
    root=$1 vm_cache=$2
    shift 2
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
    mount --bind "$vm_cache" "$root/var/cache/qz-win32-vm"
    chroot "$root" /usr/bin/env -i "$@"
' fresh-root "$root" "$vm_cache" "${env_args[@]}" /bin/sh -c 'cd /root/qz && exec "$@"' sh "$@" || status=$?
exit "$status"
