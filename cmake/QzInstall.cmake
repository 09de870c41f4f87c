# `make install` (cmake --install): qz, the plug-ins it loads and the host
# library they run on, qz's help as a manual page, and the host's package
# folder when make package has built it. Under the prefix:
#   bin/qz                  a link to lib/qz/bin/qz
#   lib/qz/bin/qz           the tool; it finds lib/qz/externals beside its
#                           own folder, as in the build tree
#   lib/qz/lib/             libqzhost.so, libjitlib.so (the embedded host)
#   lib/qz/externals/       qz.subtone.so, qz.pitchtally.so
#   share/man/man1/qz.1     qz --help and every command's --help
#   share/qz/package/qz/    the package folder of make package, when built
set(qz_home lib/qz)
get_property(qz_externals GLOBAL PROPERTY QZ_EXTERNAL_TARGETS)
set_target_properties(qz PROPERTIES INSTALL_RPATH "\$ORIGIN/../lib")
set_target_properties(qzhost jitlib PROPERTIES INSTALL_RPATH "\$ORIGIN")
set_target_properties(${qz_externals} PROPERTIES INSTALL_RPATH "\$ORIGIN/../lib")
install(TARGETS qz RUNTIME DESTINATION ${qz_home}/bin)
install(TARGETS qzhost jitlib LIBRARY DESTINATION ${qz_home}/lib)
install(TARGETS ${qz_externals} LIBRARY DESTINATION ${qz_home}/externals)
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(MAKE_DIRECTORY \"\${bin}\")
  message(STATUS \"Installing: \${bin}/qz -> ../${qz_home}/bin/qz\")
  file(CREATE_LINK ../${qz_home}/bin/qz \"\${bin}/qz\" SYMBOLIC)")

# The manual page, made from the help texts of the built qz.
set(qz_man ${CMAKE_BINARY_DIR}/man/qz.1)
add_custom_command(OUTPUT ${qz_man}
  COMMAND ${CMAKE_COMMAND} -DQZ=$<TARGET_FILE:qz> -DOUT=${qz_man} -DVERSION=${PROJECT_VERSION}
          -P ${PROJECT_SOURCE_DIR}/cmake/qz-man.cmake
  DEPENDS qz ${PROJECT_SOURCE_DIR}/cmake/qz-man.cmake
  COMMENT "qz.1 from qz --help")
add_custom_target(qz_man ALL DEPENDS ${qz_man})
install(FILES ${qz_man} DESTINATION share/man/man1)

install(CODE "
  set(folder \"${CMAKE_BINARY_DIR}/package/qz\")
  if(EXISTS \"\${folder}/package-info.json\")
    file(INSTALL \"\${folder}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/qz/package\")
  else()
    message(STATUS \"Not installed: the host's package folder (make package builds it)\")
  endif()")
