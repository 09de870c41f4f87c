# qz_add_external(<class name> SOURCES ...)
#
# Builds a plug-in module named after its class ("qz.subtone") into
# ${QZ_EXTERNALS_DIR}, with the platform's extension: ".so" on ELF systems,
# ".mxe64" on 64-bit and ".mxe" on 32-bit Windows. The module links the host
# operations from the embedded host and exports nothing but `main`.
# OUTPUT_DIR puts the module elsewhere (test plug-ins); such a module is not
# listed among the deliverables.
function(qz_add_external classname)
  cmake_parse_arguments(ARG "" "OUTPUT_DIR" "SOURCES;LIBS" ${ARGN})
  if(ARG_OUTPUT_DIR)
    set(outdir ${ARG_OUTPUT_DIR})
  else()
    set(outdir ${QZ_EXTERNALS_DIR})
  endif()
  string(REPLACE "." "_" target "${classname}")
  add_library(${target} MODULE ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/host/module_entry.cpp)
  target_link_libraries(${target} PRIVATE qzhost ${ARG_LIBS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # No STB_GNU_UNIQUE symbols: they would keep the module loaded after the
    # host unloads it.
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
  if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(suffix ".mxe64")
    else()
      set(suffix ".mxe")
    endif()
  else()
    set(suffix ".so")
    target_link_options(${target} PRIVATE
      "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/external.map")
    if(NOT QZ_SANITIZE)
      # Every host operation must resolve against the embedded host.
      target_link_options(${target} PRIVATE "LINKER:--no-undefined")
    endif()
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${classname}"
    PREFIX ""
    SUFFIX "${suffix}"
    LIBRARY_OUTPUT_DIRECTORY ${outdir}
    RUNTIME_OUTPUT_DIRECTORY ${outdir}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(NOT ARG_OUTPUT_DIR)
    set_property(GLOBAL APPEND PROPERTY QZ_EXTERNAL_TARGETS ${target})
  endif()
endfunction()
