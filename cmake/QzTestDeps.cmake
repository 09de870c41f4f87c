# GoogleTest for the tests. A native build uses the installed package; a
# cross build compiles Debian's GoogleTest sources (QZ_GTEST_SOURCE_DIR, set
# by the toolchain files) for its own target, from the local copy only.
if(QZ_GTEST_SOURCE_DIR)
  if(NOT EXISTS ${QZ_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${QZ_GTEST_SOURCE_DIR} (Debian package googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QZ_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Our warning set is stricter than GoogleTest's sources are written for.
  foreach(t gtest gtest_main)
    get_target_property(opts ${t} COMPILE_OPTIONS)
    if(opts)
      list(REMOVE_ITEM opts -Werror -Wpedantic -Wshadow)
      set_target_properties(${t} PROPERTIES COMPILE_OPTIONS "${opts}")
    endif()
  endforeach()
endif()
