# Fails if a file the demo generator writes differs from the tracked one, or is missing.
# -DGENERATED=folder -DTRACKED=folder
file(GLOB names RELATIVE ${GENERATED} ${GENERATED}/*)
if(NOT names)
  message(FATAL_ERROR "the generator wrote nothing into ${GENERATED}")
endif()
foreach(name ${names})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${GENERATED}/${name}
                          ${TRACKED}/${name} RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "examples/demo/${name} is out of date: "
                        "cmake --build --preset dev --target demo_files")
  endif()
endforeach()
