# Cross build for 32-bit Windows with Debian's MinGW-w64 toolchain (posix
# threads), producing .mxe plug-ins, the embedded host as MaxAPI.dll + jitlib.dll and
# bin/qz.exe. Programs run under 32-bit Wine (Debian's wine32:i386,
# scripts/install-wine32.sh) through scripts/wine-run.sh.
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
set(QZ_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/QzMinGW.cmake)

# The launcher is always set: where neither 32-bit Wine here nor the virtual
# machine of scripts/win32-vm.sh can run the programs, each test is skipped
# with the launcher's reason instead of run. QZ_EMULATOR_SKIP_REASON holds
# that reason at configure time (recomputed each time), so that the tests
# are then registered without asking the programs for their test lists.
# When the programs run in the virtual machine (scripts/win32-launcher.sh),
# the build cannot start them here: ctest asks them for their test lists
# when it runs, inside the machine (QZ_TEST_DISCOVERY_MODE PRE_TEST).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh win32)
execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../scripts/win32-launcher.sh check
  RESULT_VARIABLE qz_wine32_rc OUTPUT_VARIABLE qz_wine32_out ERROR_VARIABLE qz_wine32_out
  OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QZ_TEST_DISCOVERY_MODE POST_BUILD)
if(NOT qz_wine32_rc EQUAL 0)
  set(QZ_EMULATOR_SKIP_REASON "${qz_wine32_out}")
else()
  set(QZ_EMULATOR_SKIP_REASON "")
  if(qz_wine32_out MATCHES "^vm: ")
    set(QZ_TEST_DISCOVERY_MODE PRE_TEST)
  endif()
endif()
set(QZ_BENCH OFF CACHE BOOL "Build the benchmarks")
