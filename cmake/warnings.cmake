# Strict warnings for every target of the project; -Werror where KERRO_WERROR is on (CI).
# Designated initializers that leave defaulted members out are how builders are used.
function(kerro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wshadow
                                           -Wnon-virtual-dtor -Wold-style-cast
                                           -Wno-missing-field-initializers)
  # GCC 12 reports false overlaps in inlined std::string copies when optimising (its bug
  # 105651); the warning is worthless there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(KERRO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
