# Cross build for 32-bit Windows with Debian's MinGW-w64 toolchain (posix
# threads), producing .mxe plug-ins, the embedded host as MaxAPI.dll + jitlib.dll and
# bin/qz.exe. Programs run under 32-bit Wine (Debian's wine32:i386,
# scripts/install-wine32.sh) through scripts/wine-run.sh.
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
set(QZ_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/QzMinGW.cmake)

# The launcher is always set: where 32-bit Wine is missing or cannot run
# (a kernel that does not execute 32-bit x86 programs), each test is skipped
# with the launcher's reason instead of run. QZ_EMULATOR_SKIP_REASON holds
# that reason at configure time (recomputed each time), so that the tests
# are then registered without asking the programs for their test lists.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh win32)
execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh win32 --check
  RESULT_VARIABLE qz_wine32_rc OUTPUT_VARIABLE qz_wine32_out ERROR_VARIABLE qz_wine32_out
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(qz_wine32_rc EQUAL 0)
  set(QZ_EMULATOR_SKIP_REASON "")
else()
  set(QZ_EMULATOR_SKIP_REASON "${qz_wine32_out}")
endif()
set(QZ_BENCH OFF CACHE BOOL "Build the benchmarks")
