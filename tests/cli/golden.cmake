# Runs one qz command and compares its standard output with a golden file.
#   cmake -DQZ=<qz binary> -DARGS=<arguments joined with '|'> -DEXPECTED=<file>
#         [-DINPUT=<file for standard input>] [-DEXPECT_RC=<exit code>]
#         [-DEMULATOR=<launcher and its arguments joined with '|'>] -P golden.cmake
# Set QZ_UPDATE_GOLDEN=1 in the environment to rewrite the golden file.
# Line ends are compared as LF (qz.exe writes CRLF to a text-mode stdout).
string(REPLACE "|" ";" ARGS "${ARGS}")
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
string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")
if("$ENV{QZ_UPDATE_GOLDEN}" STREQUAL "1")
  file(WRITE ${EXPECTED} "${out}")
  message(STATUS "updated ${EXPECTED}")
  return()
endif()
file(READ ${EXPECTED} expected)
if(NOT rc EQUAL EXPECT_RC)
  message(FATAL_ERROR "exit code ${rc}, expected ${EXPECT_RC}\nstderr:\n${err}")
endif()
if(NOT out STREQUAL expected)
  file(WRITE ${EXPECTED}.actual "${out}")
  execute_process(COMMAND diff -u ${EXPECTED} ${EXPECTED}.actual)
  message(FATAL_ERROR "output differs from ${EXPECTED} (actual output in ${EXPECTED}.actual)\nstderr:\n${err}")
endif()
