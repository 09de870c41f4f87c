# Flags of the fuzz build (QZ_FUZZ=ON), for every target: the embedded host,
# the plug-ins and the fuzz programs. Included by the top-level
# CMakeLists.txt before any target is made; QZ_SANITIZE is on as well, so
# AddressSanitizer and UndefinedBehaviorSanitizer come from QzFlags.cmake.
#
# -fsanitize=fuzzer-no-link adds libFuzzer's coverage instrumentation
# without its main(); only the fuzz programs link libFuzzer itself
# (fuzz/CMakeLists.txt).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QZ_FUZZ needs clang (CC=clang CXX=clang++): libFuzzer is part of clang")
endif()

# Only the coverage instrumentation is added here: repeating
# -fsanitize=address,undefined after QzFlags.cmake's options would turn the
# function-type check back on.
add_compile_options(-fsanitize=fuzzer-no-link
  # The host calls every routine through the generic `method` pointer,
  # whose first parameter is void * where the routine's is the object's own
  # record (t_subtone *, t_statagent *): that is how the host's C API works,
  # and the call is sound on every ABI it runs on. -fsanitize=function
  # would flag each such call, so that one check is off.
  -fno-sanitize=function
  -g)
