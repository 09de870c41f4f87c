# Cross build for 32-bit Windows with Debian's MinGW-w64 toolchain (posix
# threads), producing .mxe plug-ins, the embedded host as MaxAPI.dll + jitlib.dll and
# bin/qz.exe. Nothing runs here (no 32-bit Wine): the build is checked with
# objdump, and 32-bit behaviour is shown by the linux32 build.
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
set(QZ_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/QzMinGW.cmake)
set(QZ_BENCH OFF CACHE BOOL "Build the benchmarks")
