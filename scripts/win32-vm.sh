#!/bin/sh
# A small QEMU virtual machine that runs 32-bit Wine where this machine
# cannot: its kernel refuses 32-bit x86 programs ("Exec format error"), or
# its package mirror cannot install wine32:i386 beside the amd64 packages.
# The machine boots Debian's own amd64 kernel (which executes 32-bit
# programs) from a disk image holding a Debian root with wine32:i386, runs
# one command in a folder of this machine shared with it, and powers off:
#   scripts/win32-vm.sh status        (says whether the image is ready; exit 1 if not)
#   scripts/win32-vm.sh image         (builds the image when missing)
#   scripts/win32-vm.sh run [--share DIR]... DIR COMMAND [ARG...]
# `run` shares DIR, each --share DIR and the project's tree with the machine
# over 9p, each at its own absolute path, runs COMMAND in DIR there, prints
# its output as it comes and exits with its exit status. Every run starts
# from the same image (the disk is opened with snapshot=on: what a run
# writes outside the shared folders is gone after it).
#
# The image is made once per machine from Debian's packages only, and kept
# in QZ_WIN32_VM_CACHE (default /var/cache/qz-win32-vm, outside the clone,
# as scripts/fresh-root.sh keeps its root) in a folder named after the
# release and a hash of the root's package list (scripts/packages/win32-vm-root)
# and of the machine's init: a change of either builds it again, and the
# images of other keys are removed then. Building it needs root,
# debootstrap, mkfs.ext4 and about 4 GB; it takes a few minutes, and its
# first boot makes the 32-bit Wine prefix inside the image, so that later
# runs start Wine without making one. The log is $QZ_WIN32_VM_CACHE/build.log.
#
# The root is made from the release's main suite only, without -updates and
# -security, on purpose: a suite's amd64 and i386 packages are published
# together, so wine32:i386's multi-arch pairs (libwine, and every library
# both architectures share) always have the same versions there; the
# security suite's i386 index can lag behind its amd64 one (or be out of
# step in the middle of a mirror sync), and then wine32:i386 cannot be
# installed. The machine has no network and runs only our tests, so it
# loses nothing by missing the security updates.
#
# QEMU emulates the processor (TCG; QZ_WIN32_VM_ACCEL=kvm uses /dev/kvm
# instead): `-cpu max,la57=off,smap=off`, where smap=off is required (QEMU
# 7.2's TCG raises a false page fault on the IRET into 32-bit user mode
# otherwise, which kills every 32-bit process).
# QZ_WIN32_VM_TIMEOUT (seconds, default 3600) bounds a run: a machine that
# has not powered off by then is stopped, and the run fails saying so.
# QZ_WIN32_VM_MEMORY (MiB, default 3072) and QZ_WIN32_VM_CPUS (default 2).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
cache=${QZ_WIN32_VM_CACHE:-/var/cache/qz-win32-vm}
list=$here/packages/win32-vm-root

die() {
    echo "win32-vm: $*" >&2
    exit 1
}

# PID 1 of the machine. The initramfs has mounted the image as / and moved
# /dev, /proc, /sys and /run into it. It mounts the shares named on the
# kernel command line (qz.share=TAG:PATH, with the 9p options qz.9p=) and
# the run's own folder (/run/qz-job, tag qzjob), runs /run/qz-job/job.sh with its output on the
# second serial port (the first one is the kernel's console), keeps its
# exit status in /run/qz-job/status and powers the machine off.
init_script() {
    cat <<'EOF'
#!/bin/sh
PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export PATH
mount -t proc proc /proc 2>/dev/null || true
mount -t sysfs sysfs /sys 2>/dev/null || true
mount -t devtmpfs devtmpfs /dev 2>/dev/null || true
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts 2>/dev/null || true
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /dev/shm
mount -t tmpfs -o mode=1777 tmpfs /tmp
mount -t tmpfs -o mode=755 tmpfs /run 2>/dev/null || true
modprobe 9pnet_virtio
modprobe 9p
opts=trans=virtio,version=9p2000.L
for arg in $(cat /proc/cmdline); do
    case $arg in qz.9p=*) opts=${arg#qz.9p=} ;; esac
done
mkdir -p /run/qz-job
mount -t 9p -o "$opts" qzjob /run/qz-job
for arg in $(cat /proc/cmdline); do
    case $arg in
        qz.share=*)
            share=${arg#qz.share=}
            mkdir -p "${share#*:}"
            mount -t 9p -o "$opts" "${share%%:*}" "${share#*:}"
            ;;
    esac
done
# (through a pipe, as ctest reads a test's output: Wine writes a terminal
# escape sequences of its console)
out=/dev/ttyS1
stty -F "$out" raw -echo 2>/dev/null || true
{
    status=0
    env -i HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 TERM=dumb PATH="$PATH" \
        sh /run/qz-job/job.sh </dev/null 2>&1 || status=$?
    echo "$status" >/run/qz-job/status
} | cat >"$out"
sync
umount -a -t 9p 2>/dev/null || true
sync
echo o >/proc/sysrq-trigger
sleep 60
EOF
}

release() {
    # shellcheck disable=SC1091
    . /etc/os-release
    echo "${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}"
}

# The image's folder: the release and a hash of the package list and init.
image_dir() {
    key=$({
        packages | tr ' ' '\n' | sed '/^$/d'
        init_script
    } | sha256sum | cut -c 1-16)
    echo "$cache/$(release)-amd64-$key"
}

packages() { sed -e 's/#.*//' "$list" | tr '\n' ' '; }

# The launcher's description, for the records of what ran the suite.
describe() {
    wine=$(sed -n 's/^wine: //p' "$1/info")
    kernel=$(sed -n 's/^kernel: //p' "$1/info")
    qemu=$(qemu-system-x86_64 --version 2>/dev/null | sed -n '1s/.*version \([^ ]*\).*/\1/p')
    echo "32-bit $wine in a QEMU virtual machine, Linux $kernel (QEMU $qemu, $(accel))"
}

# TCG unless asked for KVM: on our machines /dev/kvm may be there (a
# nested one) while the machine does not get as far as the command under it.
accel() {
    case ${QZ_WIN32_VM_ACCEL:-tcg} in
        tcg | kvm) echo "${QZ_WIN32_VM_ACCEL:-tcg}" ;;
        *) die "QZ_WIN32_VM_ACCEL is tcg or kvm, not $QZ_WIN32_VM_ACCEL" ;;
    esac
}

# Why the machine cannot run here, or nothing.
missing() {
    for tool in qemu-system-x86_64 debootstrap mkfs.ext4 flock timeout; do
        command -v "$tool" >/dev/null 2>&1 || {
            echo "$tool not found (scripts/install-deps.sh win32-vm installs it)"
            return
        }
    done
}

# boot IMAGE-DIR RUN-DIR DISK-OPTIONS TIMEOUT SHARE...: one boot of the
# image that runs RUN-DIR/job.sh; its exit status in RUN-DIR/status.
boot() {
    img=$1 job=$2 disk=$3 limit=$4
    shift 4
    set -- -virtfs "local,path=$job,mount_tag=qzjob,security_model=none,id=qzjob" "$@"
    n=0 cmdline=""
    while read -r share; do
        set -- "$@" -virtfs "local,path=$share,mount_tag=qz$n,security_model=none,id=qz$n"
        cmdline="$cmdline qz.share=qz$n:$share"
        n=$((n + 1))
    done <"$job/shares"
    vmlinuz=$(sed -n 's/^kernel: //p' "$img/info")
    # The shares through the page cache (cache=loose): Wine opens files with
    # O_NONBLOCK, for which 9p without it answers a read with one message
    # (msize) only, and Wine takes the short read of a section larger than
    # that as the whole. Nothing on this machine changes the shared files
    # while the machine runs.
    cmdline="$cmdline qz.9p=trans=virtio,version=9p2000.L,msize=512000,cache=loose"
    if [ "$(accel)" = kvm ]; then
        machine=pc,accel=kvm
    else
        machine=pc,accel=tcg
    fi
    rc=0
    timeout -k 20 "$limit" qemu-system-x86_64 -nodefaults -no-user-config -no-reboot \
        -machine "$machine" -cpu max,la57=off,smap=off \
        -smp "${QZ_WIN32_VM_CPUS:-2}" -m "${QZ_WIN32_VM_MEMORY:-3072}" \
        -display none -monitor none -nic none \
        -kernel "$img/vmlinuz-$vmlinuz" -initrd "$img/initrd.img-$vmlinuz" \
        -append "console=ttyS0 root=/dev/vda rootfstype=ext4 rw init=/sbin/qz-init quiet loglevel=3 panic=-1$cmdline" \
        -drive "file=$img/rootfs.img,format=raw,if=virtio,$disk" \
        -serial "file:$job/console.log" -chardev stdio,id=out,signal=off -serial chardev:out \
        "$@" </dev/null || rc=$?
    if [ -s "$job/status" ]; then
        return 0
    fi
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        echo "win32-vm: the virtual machine did not power off within $limit s (QZ_WIN32_VM_TIMEOUT) and was stopped" >&2
    else
        echo "win32-vm: the virtual machine stopped (qemu exit status $rc) without the command's exit status" >&2
    fi
    echo "win32-vm: the end of its console ($job/console.log):" >&2
    tail -n 20 "$job/console.log" >&2 2>/dev/null || true
    return 1
}

# The image, made from the machine's apt sources' mirror of the release.
build_image() {
    dir=$1
    rel=$(release)
    # shellcheck disable=SC2016
    mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
        awk -v r="$rel" '$2 == r && $3 == "main" { print $1; exit }')
    [ -n "$mirror" ] || die "no apt source for $rel main on this machine"
    avail=$(df -Pk "$cache" | awk 'NR == 2 { print $4 }')
    [ "$avail" -ge 4194304 ] ||
        die "no room for the image: $((avail / 1024)) MiB free in $cache, 4096 MiB needed"
    log=$cache/build.log
    : >"$log"
    echo "win32-vm: building the virtual machine's image in $dir (a few minutes; log: $log)"
    tmp=$(mktemp -d "$cache/make.XXXXXX")
    run=$(new_run)
    # shellcheck disable=SC2064
    trap "rm -rf --one-file-system '$tmp' '$run'" EXIT
    root=$tmp/root
    debootstrap --variant=minbase --arch=amd64 "$rel" "$root" "$mirror" >>"$log" 2>&1 ||
        die "debootstrap failed; see $log"
    echo "deb $mirror $rel main" >"$root/etc/apt/sources.list"
    rm -f "$root"/etc/apt/sources.list.d/*
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    # The packages, installed in a mount namespace of its own, so that the
    # chroot's mounts go with it whatever happens. Its mounts are private,
    # except in a chroot whose / is no mount point (scripts/fresh-root.sh's):
    # there unshare cannot change the propagation of /, and the namespace
    # keeps the one it has (fresh-root.sh's own namespace is private).
    prop=private
    unshare --mount --propagation private true 2>/dev/null || prop=unchanged
    # shellcheck disable=SC2016,SC2046
    unshare --mount --propagation "$prop" sh -euc '
        root=$1
        shift
        mount -t proc proc "$root/proc"
        mount -t sysfs sysfs "$root/sys"
        mount --rbind /dev "$root/dev"
        chroot "$root" dpkg --add-architecture i386
        chroot "$root" apt-get -q update
        chroot "$root" env DEBIAN_FRONTEND=noninteractive \
            apt-get -q install -y --no-install-recommends "$@"
    ' win32-vm "$root" $(packages) >>"$log" 2>&1 ||
        die "installing the packages in the image's root failed; see $log"
    kernel=$(find "$root/lib/modules" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort -V | tail -n 1)
    if [ ! -f "$root/boot/vmlinuz-$kernel" ] || [ ! -f "$root/boot/initrd.img-$kernel" ]; then
        die "no kernel and initramfs in the image's root; see $log"
    fi
    cp "$root/boot/vmlinuz-$kernel" "$root/boot/initrd.img-$kernel" "$tmp/"
    rm -rf "$root"/var/lib/apt/lists/* "$root"/var/cache/apt/*.bin
    find "$root/var/cache/apt/archives" -name '*.deb' -delete
    init_script >"$root/sbin/qz-init"
    chmod 755 "$root/sbin/qz-init"
    mkdir -p "$root/root/.cache"
    # Room for the Wine prefix and what the tests write outside the shares.
    size=$(du -sm "$root" | cut -f 1)
    size=$((size + size / 4 + 1024))
    mkfs.ext4 -q -F -L qz-win32-vm -d "$root" "$tmp/rootfs.img" "${size}M" >>"$log" 2>&1 ||
        die "mkfs.ext4 failed; see $log"
    rm -rf --one-file-system "$root"
    echo "kernel: $kernel" >"$tmp/info"
    # The first boot, with the disk written, makes the Wine prefix as the
    # launcher does (scripts/wine-run.sh) and says which Wine it is.
    echo "win32-vm: first boot: making the 32-bit Wine prefix"
    # (the server the launcher keeps is stopped, so that it writes the
    # registry before the machine powers off)
    cat >"$run/job.sh" <<EOF
set -e
sh $here/wine-run.sh win32 cmd /c exit
/usr/lib/wine/wine --version >/run/qz-job/wine-version
WINEPREFIX=/root/.cache/qz-wine32 /usr/lib/wine/wineserver -k || true
EOF
    echo "$here" >"$run/shares"
    boot "$tmp" "$run" cache=unsafe 1800 >>"$log" 2>&1 || {
        cat "$run/console.log" >>"$log" 2>/dev/null || true
        die "the first boot failed; see $log"
    }
    if [ "$(cat "$run/status")" != 0 ] || [ ! -s "$run/wine-version" ]; then
        cat "$run/console.log" >>"$log" 2>/dev/null || true
        die "making the Wine prefix in the image failed; see $log"
    fi
    echo "wine: $(head -n 1 "$run/wine-version")" >>"$tmp/info"
    rm -rf "$run"
    mv "$tmp" "$dir"
    trap - EXIT
    # Images of other package lists are not used again.
    for old in "$cache"/*-amd64-*; do
        [ "$old" = "$dir" ] || [ ! -d "$old" ] || rm -rf --one-file-system "$old"
    done
    echo "win32-vm: image ready: $(describe "$dir"); $(du -sm "$dir" | cut -f 1) MiB on disk"
}

new_run() {
    mktemp -d "${TMPDIR:-/var/tmp}/qz-win32-vm.XXXXXX"
}

cmd=${1:-}
[ $# -eq 0 ] || shift
case $cmd in
    status)
        why=$(missing)
        [ -z "$why" ] || { echo "$why"; exit 1; }
        dir=$(image_dir)
        [ -f "$dir/info" ] || { echo "the virtual machine's image is not built yet (scripts/win32-vm.sh image)"; exit 1; }
        describe "$dir"
        ;;
    image)
        why=$(missing)
        [ -z "$why" ] || die "$why"
        [ "$(id -u)" -eq 0 ] || [ -f "$(image_dir)/info" ] || die "building the image needs root"
        mkdir -p "$cache"
        dir=$(image_dir)
        (
            flock 9
            [ -f "$dir/info" ] || build_image "$dir"
        ) 9>"$cache/lock"
        [ -f "$dir/info" ] || exit 1
        ;;
    run)
        why=$(missing)
        [ -z "$why" ] || die "$why"
        shares=""
        while [ "${1:-}" = --share ]; do
            [ $# -ge 2 ] || die "--share needs a folder"
            case $2 in *[[:space:]]*) die "a shared folder's path has a space: $2" ;; esac
            shares="$shares $(cd "$2" && pwd)"
            shift 2
        done
        [ $# -ge 2 ] || die "usage: $0 run [--share DIR]... DIR COMMAND [ARG...]"
        workdir=$(cd "$1" && pwd)
        shift
        dir=$(image_dir)
        [ -f "$dir/info" ] || die "the virtual machine's image is not built (scripts/win32-vm.sh image)"
        run=$(new_run)
        trap 'rm -rf "$run"' EXIT
        # (the kernel command line names them, separated by spaces; the
        # --share folders were checked as they came)
        for d in "$top" "$workdir"; do
            case $d in *[[:space:]]*) die "a shared folder's path has a space: $d" ;; esac
        done
        # Each folder once: one inside another is reached through it.
        for d in $top $workdir $shares; do
            echo "$d"
        done | sort -u | awk 'NR > 1 && index($0, last "/") == 1 { next } { print; last = $0 }' >"$run/shares"
        # The command, quoted for the machine's shell, with the variables
        # that tell the tests they run in CI.
        {
            echo "cd '$workdir' || exit 125"
            for var in CI QZ_UPDATE_GOLDEN; do
                eval "val=\${$var-}"
                # shellcheck disable=SC2154
                [ -z "$val" ] || printf "export %s='%s'\n" "$var" "$(printf %s "$val" | sed "s/'/'\\\\''/g")"
            done
            printf 'exec'
            for a in "$@"; do printf " '%s'" "$(printf %s "$a" | sed "s/'/'\\\\''/g")"; done
            echo
        } >"$run/job.sh"
        (
            flock -s 9
            boot "$dir" "$run" snapshot=on "${QZ_WIN32_VM_TIMEOUT:-3600}"
        ) 9>"$cache/lock" || exit 1
        exit "$(cat "$run/status")"
        ;;
    *)
        echo "usage: $0 status | image | run [--share DIR]... DIR COMMAND [ARG...]" >&2
        exit 2
        ;;
esac
