#!/bin/sh
# Installs Debian packages when missing. Each argument is a list of
# scripts/packages/ (what one kind of build needs: demo, score, tests, pd, audio,
# fuzz, mingw, wine, linux32, wasm, browser, format, tidy, win32-vm) or a
# package's own name; with no argument, everything `make check` needs. Run
# as root (as CI does); otherwise it only says what is missing.
#   scripts/install-deps.sh demo tests
set -eu
lists="$(dirname "$0")/packages"

[ $# -gt 0 ] || set -- demo score tests pd audio fuzz mingw wine linux32 wasm browser

packages=""
for arg in "$@"; do
    if [ -f "$lists/$arg" ]; then
        packages="$packages $(sed -e 's/#.*//' "$lists/$arg" | tr '\n' ' ')"
    else
        packages="$packages $arg"
    fi
done

missing=""
for p in $packages; do
    case " $missing " in *" $p "*) continue ;; esac
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
sh "$(dirname "$0")/apt-update.sh"
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing
