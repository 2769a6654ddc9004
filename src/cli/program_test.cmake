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

# Library-guided runs in a copy of the demo folder, from inside it, as a user runs them.
# Any message on the error stream (a library that failed) fails the test.
get_filename_component(demo_folder ${DEMO} DIRECTORY)
function(run_demo_in folder)
  execute_process(COMMAND ${CLI} --auto --quiet ${ARGN} ${name} WORKING_DIRECTORY ${folder}
                  RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT err STREQUAL "")
    message(FATAL_ERROR "kerro-cli ${ARGN} in ${folder}: status ${status}\n${err}")
  endif()
endfunction()
function(expect_same_result folder)
  foreach(file ${name} ${name}-01)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/as_listed/${file}
                            ${folder}/${file} RESULT_VARIABLE different)
    if(different)
      message(FATAL_ERROR "${folder}/${file} differs from the run with the listed paths")
    endif()
  endforeach()
endfunction()
# Copies the demo to `folder` with its libraries moved to folder/subfolder/NAME each, and
# a TOSK.INI that lists `listed`.
function(demo_copy folder subfolder lb3_name lib_name listed)
  file(COPY ${demo_folder}/ DESTINATION ${folder})
  file(MAKE_DIRECTORY ${folder}/${subfolder})
  file(RENAME ${folder}/DEMO.LB3 ${folder}/${subfolder}/${lb3_name})
  file(RENAME ${folder}/DEMO.LIB ${folder}/${subfolder}/${lib_name})
  file(WRITE ${folder}/TOSK.INI "[LIBRARY]\r\n${listed}")
endfunction()

file(COPY ${demo_folder}/ DESTINATION ${WORK}/as_listed)
run_demo_in(${WORK}/as_listed)

# Written on Windows: '\' separators, and names in another case than the files'.
demo_copy(${WORK}/windows Lib demo.LB3 Demo.lib "LIB0=lib\\DEMO.LB3\r\nLIB1=LIB\\demo.LIB\r\n")
run_demo_in(${WORK}/windows)
expect_same_result(${WORK}/windows)

# Drive paths: found by file name in the folders given with --lib-dir.
demo_copy(${WORK}/drive parts DEMO.LB3 demo.lib
          "LIB0=C:\\TOSK\\LIB\\DEMO.LB3\r\nLIB1=C:\\TOSK\\LIB\\DEMO.LIB\r\n")
run_demo_in(${WORK}/drive --lib-dir nowhere --lib-dir parts)
expect_same_result(${WORK}/drive)
# A library that cannot be loaded stops the job: numbered without it, the packages would be
# wrong.
expect_run(1 "File read error. \"C:\\TOSK\\LIB\\DEMO.LB3\", \"C:/TOSK/LIB/DEMO.LB3\", \"nowhere/DEMO.LB3\": no such file\n"
           --auto --dry-run --lib-dir nowhere ${WORK}/drive/${name})
expect_run(5 "library fails to load: \"C:\\TOSK\\LIB\\DEMO.LB3\", \"C:/TOSK/LIB/DEMO.LB3\", \"nowhere/DEMO.LB3\"\n"
           --lint --auto --lib-dir nowhere ${WORK}/drive/${name})
file(REMOVE_RECURSE ${WORK})
