# Compiler flags shared by every target.
#
# The virtual-fundamental search is exact to the last bit in single and
# double precision, so floating point must follow the source literally: no
# fast-math, no contraction of a*b+c into a fused multiply-add, and on 32-bit
# x86 SSE2 arithmetic instead of the x87 unit's excess precision.

add_compile_options(
  -ffp-contract=off
  -fno-fast-math
  -Wall -Wextra -Wpedantic -Wshadow)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR CMAKE_SIZEOF_VOID_P EQUAL 4)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "86")
    # Hosts may call plug-ins with a 4-byte aligned stack; the 32-bit Linux
    # build takes the same flags as the 32-bit Windows one.
    add_compile_options(-msse2 -mfpmath=sse -mstackrealign)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      # GCC 12 reports false -Wrestrict overlaps inside std::string on 32-bit
      # targets (GCC bug 105329).
      add_compile_options(-Wno-restrict)
    endif()
  endif()
endif()

if(QZ_WERROR)
  add_compile_options(-Werror)
endif()

if(QZ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # The host calls message routines through pointers whose first
    # parameter is void *, while the routines take their own record type
    # (t_subtone *, ...), as every host plug-in does; clang's function-type
    # check would flag each such call.
    add_compile_options(-fno-sanitize=function)
  endif()
endif()
