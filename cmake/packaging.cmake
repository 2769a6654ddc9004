# What `cmake --install` puts where, and the packages CPack makes from it:
#   Linux:   kerro-cli, the dialog kerro (where wxWidgets was found), the man page, the
#            desktop entry with its icons, the bash completion and the README; a Debian
#            package kerro_VERSION_ARCH.deb whose dependencies dpkg-shlibdeps reads from
#            the built programs.
#   Windows: kerro.exe, kerro-cli.exe and the README in one folder; a zip of it.
# scripts/package builds both packages.
include(GNUInstallDirs)

set(kerro_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

if(WIN32)
  install(TARGETS kerro-cli RUNTIME DESTINATION .)
  if(TARGET kerro_program)
    install(TARGETS kerro_program RUNTIME DESTINATION .)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
else()
  install(TARGETS kerro-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${kerro_packaging_dir}/kerro-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${kerro_packaging_dir}/kerro-cli.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kerro-cli)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(TARGET kerro_program)
    install(TARGETS kerro_program RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
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
  # The man page and the completion keep up with the options of kerro-cli --help.
  add_test(NAME packaging_docs
           COMMAND ${kerro_packaging_dir}/check_docs.sh $<TARGET_FILE:kerro-cli>
                   ${kerro_packaging_dir}/kerro-cli.1 ${kerro_packaging_dir}/kerro-cli.bash-completion)
endif()

if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()

set(CPACK_PACKAGE_NAME kerro)
set(CPACK_PACKAGE_VERSION ${KERRO_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "The Kerro project")
set(CPACK_PACKAGE_CONTACT "The Kerro project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "renumbers the reference designators of schematic files")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kerro-${KERRO_VERSION_TEXT}-win32)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The first line of the package's description is CPACK_PACKAGE_DESCRIPTION_SUMMARY.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Kerro renumbers the component reference designators (R1, C12, U3 ...) in the\n"
      "schematic files of the Tosk schematic editor (*.CE2), plainly or guided by the\n"
      "editor's part libraries. The previous file is kept beside it as a backup.\n"
      "This package holds the command-line tool kerro-cli and the dialog kerro.")
  string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
endif()

include(CPack)
