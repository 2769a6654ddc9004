# Cross build for 32-bit Windows with mingw-w64. The -posix compilers are used because the
# win32 thread model of GCC 12 lacks std::mutex, which GoogleTest needs. Programs are linked
# statically, so kerro.exe runs alone. CTest runs the Windows programs under Wine with a
# prefix of its own inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KERRO_MINGW_TRIPLET i686-w64-mingw32)
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

# The emulator line is a list: env sets Wine's prefix and silences its debug channels.
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDLLOVERRIDES=mscoree,mshtml=
    wine)
