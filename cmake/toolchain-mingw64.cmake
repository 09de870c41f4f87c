# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain (posix
# threads), producing .mxe64 plug-ins, the embedded host as MaxAPI.dll + jitlib.dll and
# bin/qz.exe. Programs run under wine64 when it is installed.
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(QZ_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/QzMinGW.cmake)

find_program(QZ_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QZ_WINE64)
  # Through a wrapper that keeps Wine quiet and in a prefix of its own.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh win64)
endif()
set(QZ_BENCH OFF CACHE BOOL "Build the benchmarks")
