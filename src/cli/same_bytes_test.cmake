# kerro-cli.exe under Wine in code page 932 renumbers the demo board by its libraries to
# the same bytes as the Linux kerro-cli, though its copy lies in a folder "基板表" and is
# named "表.CE2": in code page 932 both names end in the byte of '\', and the TOSK.INI
# beside the board must still be found.
# -DCLI=kerro-cli.exe -DHOST_CLI=Linux kerro-cli -DEMULATOR=env|...|wine -DWORK=folder
# -DDEMO=examples/demo; run with LANG=ja_JP.UTF-8.
if(NOT EXISTS "${HOST_CLI}")
  message(FATAL_ERROR "no Linux kerro-cli at ${HOST_CLI}: build it first "
                      "(cmake --build --preset dev --target kerro-cli; scripts/test-windows does)")
endif()
string(REPLACE "|" ";" emulator "${EMULATOR}")
set(linux "${WORK}/linux")
set(windows "${WORK}/基板表")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${linux}" "${windows}")
file(COPY "${DEMO}/" DESTINATION "${linux}")
file(COPY "${DEMO}/" DESTINATION "${windows}")
file(RENAME "${windows}/DEMO.CE2" "${windows}/表.CE2")

function(run_cli folder)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${folder}" RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR "${out}${err}" MATCHES "read error" OR NOT "${out}" MATCHES "Finished")
    message(FATAL_ERROR "${ARGN}: status ${status}\n${out}${err}")
  endif()
endfunction()

run_cli("${linux}" "${HOST_CLI}" --auto "${linux}/DEMO.CE2")
string(REPLACE "/" "\\" board "Z:${windows}/表.CE2")
run_cli("${windows}" ${emulator} "${CLI}" --auto "${board}")

# The board, its backup and its further sections; the libraries beside them are only read.
file(GLOB written RELATIVE "${linux}" "${linux}/DEMO.CE2*" "${linux}/DEMO.$E2")
list(LENGTH written count)
if(count LESS 3)
  message(FATAL_ERROR "the Linux run wrote only ${written}")
endif()
foreach(name ${written})
  string(REPLACE "DEMO." "表." other "${name}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${linux}/${name}"
                          "${windows}/${other}" RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${other} differs from the Linux build's ${name} (or is missing)")
  endif()
endforeach()
file(GLOB windowsWritten RELATIVE "${windows}" "${windows}/表.CE2*" "${windows}/表.$E2")
list(LENGTH windowsWritten windowsCount)
if(NOT windowsCount EQUAL count)
  message(FATAL_ERROR "Windows wrote ${windowsWritten}, Linux ${written}")
endif()
# The board did change: equal bytes mean equal work, not two untouched copies.
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${linux}/DEMO.CE2" "${DEMO}/DEMO.CE2"
                RESULT_VARIABLE unchanged)
if(unchanged EQUAL 0)
  message(FATAL_ERROR "the demo board came out unchanged")
endif()
file(REMOVE_RECURSE "${WORK}")
