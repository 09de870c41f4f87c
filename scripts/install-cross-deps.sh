#!/bin/sh
# Installs the Debian packages of the cross builds, when missing: the
# MinGW-w64 compilers (posix threads) for 64- and 32-bit Windows, wine64 to
# run the 64-bit Windows programs, the multilib compiler for 32-bit x86 Linux,
# qemu-user to run its programs (qemu-i386), and GoogleTest's sources, which
# the cross builds compile for their own targets; the header-only libraries
# that qz is built with (nlohmann-json, CLI11) are read from the build machine.
set -eu
exec sh "$(dirname "$0")/install-deps.sh" \
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 g++-multilib qemu-user googletest \
    nlohmann-json3-dev libcli11-dev
