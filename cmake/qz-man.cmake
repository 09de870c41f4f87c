# Writes qz's manual page from its help texts:
#   cmake -DQZ=<qz> -DOUT=<qz.1> -DVERSION=<version> -P qz-man.cmake
# The page holds `qz --help`, then each command's --help, as preformatted
# text (roff's own characters escaped).
function(help_of out)
  execute_process(COMMAND ${QZ} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${QZ} ${ARGN} --help failed (${rc})")
  endif()
  string(REPLACE "\\" "\\e" text "${text}")
  # Options keep their ASCII minus signs.
  string(REPLACE "-" "\\-" text "${text}")
  # A line that starts with . or ' would be a request.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_of(top)
string(REGEX MATCHALL "\n  [a-z]+ " words "${top}")
set(page ".TH QZ 1 \"\" \"qz ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nqz \\- virtual fundamentals and pitch statistics with the qz objects\n")
string(APPEND page ".SH SYNOPSIS\n.nf\n${top}.fi\n")
foreach(w ${words})
  string(STRIP "${w}" cmd)
  if(cmd STREQUAL "help")
    continue()
  endif()
  help_of(text ${cmd})
  string(APPEND page ".SH \"QZ ${cmd}\"\n.nf\n${text}.fi\n")
endforeach()
file(WRITE ${OUT} "${page}")
