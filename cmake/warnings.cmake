# Strict warnings for every target of the project; -Werror where KERRO_WERROR is on (CI).
# Designated initializers that leave defaulted members out are how builders are used.
function(kerro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wshadow
                                           -Wnon-virtual-dtor -Wold-style-cast
                                           -Wno-missing-field-initializers)
  if(KERRO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
