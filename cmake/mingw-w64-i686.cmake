# Toolchain file for the 32-bit Windows build, the one that ships.
set(KERRO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
