# Runs an executable script by its own name, as a shell would: its "#!" line must
# find orvel on PATH and the run must behave as `orvel --run` does.
# cmake -DORVEL_DIR=<folder of orvel> -DSCRIPT=<dir/name.js> -P command_case.cmake
get_filename_component(dir ${SCRIPT} DIRECTORY)
get_filename_component(name ${SCRIPT} NAME)
get_filename_component(stem ${SCRIPT} NAME_WLE)
execute_process(COMMAND env "PATH=${ORVEL_DIR}:$ENV{PATH}" ${dir}/${name}
  WORKING_DIRECTORY ${dir}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status
  TIMEOUT 100)
file(READ ${dir}/${stem}.out expected)
# Started by its full path, the run names the script by that path.
string(REPLACE ") ${name}" ") ${dir}/${name}" expected "${expected}")
file(READ ${dir}/${stem}.code expected_status)
string(STRIP "${expected_status}" expected_status)
if(NOT "${out}" STREQUAL "${expected}" OR NOT "${status}" STREQUAL "${expected_status}")
  message(FATAL_ERROR "${name} as a command: status ${status}\n--- expected\n${expected}--- got\n${out}---\nstderr:\n${err}")
endif()
