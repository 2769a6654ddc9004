# The Linux programs are built hardened, as Debian builds its packages: position-independent
# executables, a read-only relocation table bound at start-up (-z relro -z now), the stack
# protector and stack clash protection, control-flow protection where the processor has it
# (-fcf-protection on x86), and the C library's checked functions (_FORTIFY_SOURCE, which
# needs the optimiser, so not in Debug builds). Left out where it means nothing or gets in the way:
# the Windows cross build, which stays as it is, and the sanitizer builds (the sanitizers
# check the same things themselves and do not mix with _FORTIFY_SOURCE).
option(KERRO_HARDEN "Build hardened programs (PIE, RELRO, stack protector, _FORTIFY_SOURCE)" ON)

if(NOT KERRO_HARDEN OR WIN32 OR KERRO_SANITIZE)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

include(CheckCXXCompilerFlag)
add_compile_options(-fstack-protector-strong)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "KERRO_HAS${flag}" supported)
  check_cxx_compiler_flag(${flag} ${supported})
  if(${supported})
    add_compile_options(${flag})
  endif()
endforeach()
add_link_options(LINKER:-z,relro LINKER:-z,now)
# A distribution's build flags may choose the level themselves (dpkg-buildflags does).
if(NOT "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "_FORTIFY_SOURCE")
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
