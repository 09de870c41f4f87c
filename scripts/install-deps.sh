#!/bin/sh
# Installs Debian packages when missing: the ones given as arguments, or by
# default those the build and the tests need. Run as root (as CI does);
# otherwise it only says what is missing.
set -eu

if [ $# -gt 0 ]; then
    packages="$*"
else
    packages="cmake ninja-build g++ make libgtest-dev libbenchmark-dev"
    # The fuzz build (make fuzz-check): clang with libFuzzer and the sanitizer
    # runtimes; valgrind for the leak check of created and freed boxes.
    packages="$packages clang libclang-rt-14-dev valgrind"
    # The Pd externals (make pd) and their tests in headless Pd: Pd's headers,
    # the pd program without its GUI, and python3 for the test driver.
    packages="$packages puredata-dev puredata-core python3"
    # The sound front end and the pictures (qz track, --audio, --plot): aubio
    # and cairo with pkg-config to find them; sox makes the tests' sounds and
    # xmllint checks that the SVG pictures parse.
    packages="$packages pkg-config libaubio-dev libcairo2-dev sox libxml2-utils"
    # The patcher loader of qz patch and qz refpage read JSON with nlohmann-json.
    packages="$packages nlohmann-json3-dev"
    # qz parses every command's options with CLI11 (header-only).
    packages="$packages libcli11-dev"
fi

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
