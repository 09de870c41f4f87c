#!/bin/sh
# Builds the macOS bundles without an Apple SDK:
#   scripts/build-macos.sh OUT_DIR VERSION
# OUT_DIR/qz.subtone.mxo and OUT_DIR/qz.pitchtally.mxo, each holding one
# universal binary (x86_64 from macOS 10.13, arm64 from 11.0), Info.plist
# and PkgInfo. The objects compile freestanding (clang's own headers and
# ours: host/clib.h declares the few C library functions they call) and
# link with -undefined dynamic_lookup, as the host's own SDK links
# externals: the host resolves its API and the C library by flat lookup
# when it loads the bundle. lld signs the arm64 slice ad hoc. OUT_DIR/test/
# holds a test plug-in built the same way (qzt.variadic, for the loader's
# tests); it is not a deliverable.
set -eu
out=$1
version=$2
root=$(cd "$(dirname "$0")/.." && pwd)
obj=$out/obj
CLANG=${CLANG:-clang-16}
LD=${LD64:-ld64.lld-16}
LIPO=${LIPO:-llvm-lipo-16}

# Numbers follow the source literally: no fast-math, no fused
# multiply-adds (arm64 would fuse otherwise). No C++ runtime: no
# exceptions, RTTI, guarded statics or stack protector (whose guard the
# process would have to provide).
CXXFLAGS="-std=c++20 -O3 -ffreestanding -nostdlibinc -fno-exceptions -fno-rtti
  -fno-threadsafe-statics -fno-stack-protector -fno-unwind-tables
  -fno-asynchronous-unwind-tables -ffp-contract=off -fno-fast-math
  -fvisibility=hidden -fvisibility-inlines-hidden
  -Wall -Wextra -Wpedantic -Wshadow -Werror -Wglobal-constructors
  -DQZ_VERSION=\"$version\" -I$root/host"

# slice ARCH TARGET MIN_OS CLASS SOURCES...
slice() {
    arch=$1 target=$2 min=$3 class=$4
    shift 4
    objs=""
    for src in "$@"; do
        o=$obj/$arch/$class.$(basename "$src" .cpp).o
        mkdir -p "$(dirname "$o")"
        # shellcheck disable=SC2086
        $CLANG --target="$target" $CXXFLAGS -I"$root/$(dirname "$src")" -c "$root/$src" -o "$o"
        objs="$objs $o"
    done
    # shellcheck disable=SC2086
    $LD -arch "$arch" -platform_version macos "$min" 14.0 -bundle -undefined dynamic_lookup \
        -exported_symbol _ext_main -dead_strip -o "$obj/$arch/$class" $objs
}

# bundle DIR CLASS SOURCES...
bundle() {
    dir=$1 class=$2
    shift 2
    slice x86_64 x86_64-apple-macos10.13 10.13 "$class" "$@"
    slice arm64 arm64-apple-macos11 11.0 "$class" "$@"
    b=$dir/$class.mxo/Contents
    rm -rf "$dir/$class.mxo"
    mkdir -p "$b/MacOS"
    $LIPO -create "$obj/x86_64/$class" "$obj/arm64/$class" -output "$b/MacOS/$class"
    printf 'iLaX????' >"$b/PkgInfo"
    sed -e "s/@CLASS@/$class/g" -e "s/@VERSION@/$version/g" \
        "$root/package/macos/Info.plist.in" >"$b/Info.plist"
    echo "$dir/$class.mxo"
}

mkdir -p "$out/test"
bundle "$out" qz.subtone subtone/subtone.cpp subtone/subtone_search.cpp subtone/subtone_fast.cpp
bundle "$out" qz.pitchtally pitchtally/pitchtally.cpp pitchtally/statagent.cpp
bundle "$out/test" qzt.variadic tests/host/plugins/variadic.cpp
