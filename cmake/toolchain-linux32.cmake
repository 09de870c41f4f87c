# 32-bit x86 Linux build (-m32) with the multilib compiler. Programs run
# under qemu-i386 user-mode emulation, since the kernel here may not execute
# 32-bit programs.
#   cmake -S . -B build/linux32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux32.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(FIND_LIBRARY_USE_LIB32_PATHS ON)

# GoogleTest is built from Debian's sources inside the tree: the installed
# libraries are 64-bit.
set(QZ_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources built with the tree")

find_program(QZ_QEMU_I386 NAMES qemu-i386 qemu-i386-static)
if(QZ_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QZ_QEMU_I386})
endif()
set(QZ_BENCH OFF CACHE BOOL "Build the benchmarks")
