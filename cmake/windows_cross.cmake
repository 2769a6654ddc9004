# Pieces of the Windows cross build that the toolchain file cannot hold.

# CLI11 is header-only. The Windows build sees it through a folder that holds nothing but a
# link to it: adding /usr/include itself would pull the host's C library headers in.
set(KERRO_CLI11_INCLUDE ${CMAKE_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${KERRO_CLI11_INCLUDE})
if(NOT EXISTS ${KERRO_CLI11_INCLUDE}/CLI)
  file(CREATE_LINK /usr/include/CLI ${KERRO_CLI11_INCLUDE}/CLI SYMBOLIC)
endif()
include_directories(SYSTEM ${KERRO_CLI11_INCLUDE})
# find_package(CLI11) finds this config, which offers the usual target.
set(KERRO_CLI11_CONFIG ${CMAKE_BINARY_DIR}/cli11-config)
file(WRITE ${KERRO_CLI11_CONFIG}/CLI11Config.cmake
     "if(NOT TARGET CLI11::CLI11)\n"
     "  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
     "  set_target_properties(CLI11::CLI11 PROPERTIES\n"
     "    INTERFACE_INCLUDE_DIRECTORIES \"${KERRO_CLI11_INCLUDE}\")\n"
     "endif()\n"
     "set(CLI11_FOUND TRUE)\n")
set(CLI11_DIR ${KERRO_CLI11_CONFIG} CACHE PATH "CLI11 for the cross build" FORCE)

# Wine takes the program's code page from the host's locale: ja_JP.UTF-8 gives code page
# 932, where the second byte of many characters is the byte of '\\'. Every Windows test
# runs a second time so; the tests that need such names fail there, rather than skip, if
# the code page is not 932 (the host lacks the locale: scripts/test-windows generates it).
set(KERRO_CODE_PAGE_932_ENVIRONMENT LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 KERRO_EXPECT_CODE_PAGE=932)

# Registers a Windows program as one CTest test run under Wine. The first test to start
# would create the Wine prefix while others start too; a fixture creates it once, first.
function(kerro_add_wine_test name)
  # A global property, as if(TEST) sees only the tests of the current folder.
  get_property(prefix_test_added GLOBAL PROPERTY KERRO_WINE_PREFIX_TEST)
  if(NOT prefix_test_added)
    add_test(NAME kerro_wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} cmd /c exit)
    set_tests_properties(kerro_wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
    set_property(GLOBAL PROPERTY KERRO_WINE_PREFIX_TEST TRUE)
  endif()
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  # The same tests again in code page 932 (see below).
  add_test(NAME ${name}_cp932 COMMAND ${ARGN})
  set_tests_properties(${name}_cp932 PROPERTIES FIXTURES_REQUIRED wine_prefix
                                                ENVIRONMENT "${KERRO_CODE_PAGE_932_ENVIRONMENT}")
endfunction()
