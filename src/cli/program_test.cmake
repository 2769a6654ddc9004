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
# Numbering by board position: the demo's placement file (millimetres, both sides, R30 not
# on the board, a mounting hole that is no part of the schematic), end to end.
set(board ${WORK}/board)
foreach(copy original csv pads swap applied)
  file(COPY ${demo_folder}/ DESTINATION ${board}/${copy})
endforeach()
# The components of FILEs as --list gives them, without the sheet they are on.
function(components_of out_var)
  set(listed "")
  foreach(file ${ARGN})
    execute_process(COMMAND ${CLI} --list ${file} OUTPUT_VARIABLE out)
    string(REGEX REPLACE "^[^\n]*\n[^\n]*\n" "" out "${out}")
    string(REGEX REPLACE "(^|\n) +[0-9]+ " "\\1" out "${out}")
    string(APPEND listed "${out}")
  endforeach()
  set(${out_var} "${listed}" PARENT_SCOPE)
endfunction()
function(expect_file path expected)
  file(WRITE ${path}.expected "${expected}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${path} ${path}.expected
                  RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "${path} is not ${path}.expected")
  endif()
endfunction()
foreach(format csv pads swap)
  expect_run(0 "MH1 is no part of any FILE" --by-board ${board}/${format}/DEMO-POS.csv
             --was-is ${board}/was-is.${format} --was-is-format ${format}
             --placement-out ${board}/${format}/DEMO-POS-new.csv ${board}/${format}/${name})
endforeach()
# Top side, each prefix in rows: J4 D7 U9 R12 D3 | C14 C3 C2 U5 U2 R7 | R3 R1 U8 U4 J2 J7 RV3;
# then the bottom: C9 C5 R22 | C17 C8 R5 R9. R3, J2 keep their numbers; C3 and C2 swap.
string(CONCAT renames "J4,J1\r\nD7,D1\r\nU9,U1\r\nC14,C1\r\nC3,C2\r\nC2,C3\r\nD3,D2\r\n"
       "R12,R1\r\nU5,U2\r\nU2,U3\r\nR7,R2\r\nR1,R4\r\nC9,C4\r\nU8,U4\r\nU4,U5\r\n"
       "R22,R5\r\nR9,R7\r\nR5,R6\r\nC17,C6\r\nC8,C7\r\nJ7,J3\r\nRV3,RV1\r\n")
expect_file(${board}/was-is.csv "old_reference,new_reference\r\n${renames}")
# One line at a time: each chain from its end, the cycle C3 -> C2 -> C3 through TMP1.
string(CONCAT steps "RV3 RV1\r\nJ7 J3\r\nC8 C7\r\nC17 C6\r\nR5 R6\r\nR22 R5\r\nC9 C4\r\n"
       "R1 R4\r\nR12 R1\r\nR7 R2\r\nR9 R7\r\nU2 U3\r\nU5 U2\r\nU4 U5\r\nU8 U4\r\n"
       "D3 D2\r\nC14 C1\r\nU9 U1\r\nD7 D1\r\nJ4 J1\r\nC3 TMP1\r\nC2 C3\r\nTMP1 C2\r\n")
expect_file(${board}/was-is.pads "*PADS-ECO*\r\n*RENPART*\r\n${steps}*END*\r\n")
string(REGEX REPLACE "([^\n]+\n)" "CHANGEREF \\1" changeref "${steps}")
expect_file(${board}/was-is.swap "${changeref}")
# The picture of a run by the board, written on a dry run.
expect_run(0 "would change" --dry-run --by-board ${board}/csv/DEMO-POS.csv
           --preview ${board}/by-board.svg ${board}/applied/${name})
file(READ ${board}/by-board.svg picture)
if(NOT picture MATCHES "<svg" OR NOT picture MATCHES ">J1<")
  message(FATAL_ERROR "no picture of the run by the board in ${board}/by-board.svg")
endif()
# The renamed placement file agrees with the renumbered schematic: nothing would change.
expect_run(0 "Finished" --check --by-board ${board}/csv/DEMO-POS-new.csv ${board}/csv/${name}
           ${board}/csv/${name}-01)
# The csv record applied to the original board gives the renumbered board, byte for byte,
# and reversed gives the original references back.
expect_run(0 "Finished" --apply ${board}/was-is.csv ${board}/applied/${name})
foreach(file ${name} ${name}-01)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${board}/applied/${file}
                          ${board}/csv/${file} RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "--apply of the was/is record gives another ${file}")
  endif()
endforeach()
expect_run(0 "Finished" --apply ${board}/was-is.csv --reverse ${board}/csv/${name}
           ${board}/csv/${name}-01)
components_of(restored ${board}/csv/${name} ${board}/csv/${name}-01)
components_of(original ${board}/original/${name})
if(NOT restored STREQUAL original)
  message(FATAL_ERROR "--apply --reverse restored\n${restored}\nnot\n${original}")
endif()
# Started from the folder above, the run finds the libraries that TOSK.INI lists relative to
# its own folder.
file(COPY ${demo_folder}/ DESTINATION ${WORK}/above/sub)
execute_process(COMMAND ${CLI} -a --dry-run sub/${name} WORKING_DIRECTORY ${WORK}/above
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "kerro-cli -a sub/${name} from above: status ${status}\n${err}")
endif()
file(REMOVE_RECURSE ${WORK})
