#!/bin/sh
# Installs the Debian packages of the cross builds, when missing: the
# Windows builds with Wine to run the 64-bit programs, and the 32-bit x86
# Linux build with qemu-i386 (lists in scripts/packages/).
set -eu
exec sh "$(dirname "$0")/install-deps.sh" mingw wine linux32
