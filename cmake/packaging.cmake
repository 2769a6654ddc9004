# What `cmake --install` puts where:
#   Linux:   kerro-cli, the dialog kerro (where wxWidgets was found), their man pages, the
#            desktop entry with its icons, the file type of schematics, the bash completion
#            and the README. The Debian package is made from the same install by debian/
#            (dpkg-buildpackage), which adds the copyright and the changelog.
#   Windows: kerro.exe, kerro-cli.exe, the README and the licence as text files with CR LF
#            line ends (README.txt, LICENSE.txt) in one folder; CPack makes the zip of it.
# scripts/package builds both packages.
include(GNUInstallDirs)

set(kerro_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

if(WIN32)
  install(TARGETS kerro-cli RUNTIME DESTINATION .)
  if(TARGET kerro_program)
    install(TARGETS kerro_program RUNTIME DESTINATION .)
  endif()
  # Windows opens a .txt file in a text editor; a file with bare LF line ends shows there
  # as one long line in older ones.
  foreach(text README.md LICENSE)
    file(READ ${PROJECT_SOURCE_DIR}/${text} content)
    string(REPLACE "\r\n" "\n" content "${content}")
    string(REPLACE "\n" "\r\n" content "${content}")
    get_filename_component(name ${text} NAME_WE)
    file(WRITE ${CMAKE_BINARY_DIR}/packaging/${name}.txt "${content}")
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${name}.txt DESTINATION .)
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md
                                                                 ${PROJECT_SOURCE_DIR}/LICENSE)
else()
  install(TARGETS kerro-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${kerro_packaging_dir}/kerro-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${kerro_packaging_dir}/kerro-cli.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kerro-cli)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${kerro_packaging_dir}/output.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/kerro)
  if(TARGET kerro_program)
    install(TARGETS kerro_program RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${kerro_packaging_dir}/kerro.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # update-mime-database, run by a trigger of shared-mime-info, picks the type up.
    install(FILES ${kerro_packaging_dir}/kerro.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
    install(FILES ${kerro_packaging_dir}/kerro.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 32 48 128)
      install(FILES ${kerro_packaging_dir}/icons/kerro-${size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
              RENAME kerro.png)
    endforeach()
  else()
    message(STATUS "No Linux dialog: install and package hold kerro-cli only")
  endif()
endif()

if(KERRO_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  # The man pages and the completion keep up with the options of each program's --help.
  set(dialog_docs)
  if(TARGET kerro_program)
    set(dialog_docs $<TARGET_FILE:kerro_program> ${kerro_packaging_dir}/kerro.1)
  endif()
  add_test(NAME packaging_docs
           COMMAND ${kerro_packaging_dir}/check_docs.sh $<TARGET_FILE:kerro-cli>
                   ${kerro_packaging_dir}/kerro-cli.1 ${kerro_packaging_dir}/kerro-cli.bash-completion
                   ${dialog_docs})
endif()

if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()

# CPack makes the Windows zip only; the Debian package comes from debian/ (see above).
if(NOT WIN32)
  return()
endif()

set(CPACK_PACKAGE_NAME kerro)
set(CPACK_PACKAGE_VERSION ${KERRO_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "The Kerro project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "renumbers the reference designators of schematic files")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME kerro-${KERRO_VERSION_TEXT}-win32)

include(CPack)
