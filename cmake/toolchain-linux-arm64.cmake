# arm64 Linux build with Debian's cross compiler. Programs run under
# qemu-aarch64 user-mode emulation with the cross sysroot's loader and
# libraries. It exists to run the macOS bundles' arm64 slice (make
# test-macos-arm64): arm64 macOS and arm64 Linux call functions alike but
# for variadic arguments, which the embedded host's loader bridges.
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-arm64.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GoogleTest is built from Debian's sources inside the tree.
set(QZ_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources built with the tree")

find_program(QZ_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(QZ_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QZ_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
set(QZ_BENCH OFF CACHE BOOL "Build the benchmarks")
