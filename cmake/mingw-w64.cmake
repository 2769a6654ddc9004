# Cross build for Windows with mingw-w64, included by the toolchain file of each target:
# mingw-w64-i686.cmake (32-bit, the product) or mingw-w64-x86_64.cmake (64-bit, for running
# the Windows tests on hosts that cannot run 32-bit programs). That file sets
# KERRO_MINGW_ARCH first. The -posix compilers are used because the win32 thread model of
# GCC 12 lacks std::mutex, which GoogleTest needs. Programs are linked statically, so
# kerro.exe runs alone. CTest runs the Windows programs under Wine with a prefix of its own
# inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KERRO_MINGW_ARCH})

set(KERRO_MINGW_TRIPLET ${KERRO_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${KERRO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KERRO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KERRO_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KERRO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows XP-era API level is enough for everything the program calls; 0x0601 keeps the
# headers' declarations of the common controls we use.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DNOMINMAX")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DNOMINMAX")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# KERRO_WINE is the Wine loader, KERRO_WINE_ENVIRONMENT what every Wine start needs besides
# its prefix. Debian's `wine` starts the 32-bit loader whenever that is installed, even for
# a 64-bit program, so the 64-bit build names the 64-bit loader itself; WINELOADER makes the
# processes that Wine starts on its own use it too.
set(KERRO_WINE_ENVIRONMENT WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
if(KERRO_MINGW_ARCH STREQUAL "x86_64")
  find_program(KERRO_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine REQUIRED)
  set(KERRO_WINE ${KERRO_WINE64})
  list(APPEND KERRO_WINE_ENVIRONMENT WINELOADER=${KERRO_WINE64})
else()
  set(KERRO_WINE wine)
endif()

# The emulator line is a list: env sets Wine's prefix and silences its debug channels.
set(CMAKE_CROSSCOMPILING_EMULATOR
    env ${KERRO_WINE_ENVIRONMENT} WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix ${KERRO_WINE})
