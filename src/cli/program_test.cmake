# Runs the kerro-cli program as a script would: -DCLI=program -DWORK=folder -DDEMO=schematic
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(expect_run expected_status expected_text)
  execute_process(COMMAND ${CLI} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL expected_status)
    message(FATAL_ERROR "kerro-cli ${ARGN}: status ${status}, expected ${expected_status}\n${out}${err}")
  endif()
  string(FIND "${out}${err}" "${expected_text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "kerro-cli ${ARGN}: no \"${expected_text}\" in\n${out}${err}")
  endif()
endfunction()

expect_run(0 "kerro-cli " --version)
expect_run(2 "Initial value is out of range." -i 0 ${WORK}/none.CE2)
expect_run(1 "File read error. \"${WORK}/none.CE2\"" ${WORK}/none.CE2)
# A missing file whose extension starts with "$" is not there to be refused as its own backup.
expect_run(1 "File read error. \"${WORK}/MISSING.$E2\"" ${WORK}/MISSING.$E2)

file(COPY ${DEMO} DESTINATION ${WORK})
get_filename_component(name ${DEMO} NAME)
expect_run(4 " -> " --check ${WORK}/${name})
expect_run(0 "Finished" -r ${WORK}/changes.csv ${WORK}/${name})
string(REGEX REPLACE "\\.(.)" ".$" backup ${name})
foreach(file ${backup} ${name}-01 changes.csv)
  if(NOT EXISTS ${WORK}/${file})
    message(FATAL_ERROR "kerro-cli wrote no ${file}")
  endif()
endforeach()
expect_run(0 "  R1 " --list ${WORK}/${name})
# The two sections now lie in two files: number them as one design.
expect_run(0 "Finished" --together -a --keep ${WORK}/${name} ${WORK}/${name}-01)
expect_run(2 "nothing was written" --together --sheet-base 1 ${WORK}/${name} ${WORK}/${name}-01)
file(REMOVE_RECURSE ${WORK})
