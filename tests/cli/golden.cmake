# Runs one qz command and compares its standard output with a golden file.
#   cmake -DQZ=<qz binary> -DARGS=<arguments joined with '|'> -DEXPECTED=<file>
#         [-DINPUT=<file for standard input>] [-DEXPECT_RC=<exit code>]
#         [-DEMULATOR=<launcher and its arguments joined with '|'>]
#         [-DREQUIRE=<paths that must exist, joined with '|'>] -P golden.cmake
# Set QZ_UPDATE_GOLDEN=1 in the environment to rewrite the golden file (only
# outside CI: with CI=true a set QZ_UPDATE_GOLDEN fails the test, so a CI run
# can never pass by rewriting what it checks). A rewritten golden proves only
# that nothing changed since; tests/corpus/README says how each was verified.
# On a difference the actual output is left beside the golden as .actual
# (ignored by git).
# Line ends are compared as LF (qz.exe writes CRLF to a text-mode stdout).
string(REPLACE "|" ";" ARGS "${ARGS}")
if(DEFINED REQUIRE)
  string(REPLACE "|" ";" REQUIRE "${REQUIRE}")
  foreach(path ${REQUIRE})
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "${path} is missing (make macos builds it)")
    endif()
  endforeach()
endif()
if(DEFINED EMULATOR)
  string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
  set(QZ ${EMULATOR} ${QZ})
endif()
if(NOT DEFINED EXPECT_RC)
  set(EXPECT_RC 0)
endif()
if(DEFINED INPUT)
  execute_process(COMMAND ${QZ} ${ARGS} INPUT_FILE ${INPUT}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
else()
  execute_process(COMMAND ${QZ} ${ARGS}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
endif()
# The launcher could not run qz here and said why: the test is skipped
# (the ctest matches this line with SKIP_REGULAR_EXPRESSION).
if("${out}${err}" MATCHES "QZ-SKIP: [^\n]*")
  message("${CMAKE_MATCH_0}")
  return()
endif()
string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")
if(NOT "$ENV{QZ_UPDATE_GOLDEN}" STREQUAL "" AND "$ENV{CI}" STREQUAL "true")
  message(FATAL_ERROR "QZ_UPDATE_GOLDEN is set under CI (CI=true): goldens are checked there, "
                      "never rewritten; unset QZ_UPDATE_GOLDEN")
endif()
if(NOT rc EQUAL EXPECT_RC)
  message(FATAL_ERROR "exit code ${rc}, expected ${EXPECT_RC}\nstderr:\n${err}")
endif()
if("$ENV{QZ_UPDATE_GOLDEN}" STREQUAL "1")
  file(WRITE ${EXPECTED} "${out}")
  message(STATUS "updated ${EXPECTED}")
  return()
endif()
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL expected)
  file(WRITE ${EXPECTED}.actual "${out}")
  execute_process(COMMAND diff -u ${EXPECTED} ${EXPECTED}.actual)
  message(FATAL_ERROR "output differs from ${EXPECTED} (actual output in ${EXPECTED}.actual)\nstderr:\n${err}")
endif()
