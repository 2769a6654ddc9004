# Toolchain file for the 64-bit Windows build. It runs the Windows tests on hosts whose
# kernel cannot run 32-bit programs, where 32-bit Wine cannot start; it is not shipped.
set(KERRO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
