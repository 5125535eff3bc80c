# One black-box case: cmake -DORVEL=<orvel> -DSCRIPT=<dir/name.js> -P run_case.cmake
get_filename_component(dir ${SCRIPT} DIRECTORY)
get_filename_component(name ${SCRIPT} NAME)
get_filename_component(stem ${SCRIPT} NAME_WLE)

# <name>.args, when present, replaces --no-wait: the options of the run, one a line.
set(options --no-wait)
if(EXISTS ${dir}/${stem}.args)
  file(STRINGS ${dir}/${stem}.args options)
endif()

execute_process(COMMAND ${ORVEL} --run ${name} ${options}
  WORKING_DIRECTORY ${dir}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status
  TIMEOUT 100)

file(READ ${dir}/${stem}.out expected)
# @DIR@ stands for the script's folder (included files are reported by full path).
string(REPLACE "@DIR@" "${dir}" expected "${expected}")
set(expected_status 0)
if(EXISTS ${dir}/${stem}.code)
  file(READ ${dir}/${stem}.code expected_status)
  string(STRIP "${expected_status}" expected_status)
endif()

set(failed "")
if(NOT "${out}" STREQUAL "${expected}")
  string(APPEND failed "stdout differs.\n--- expected\n${expected}--- got\n${out}---\n")
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
  string(APPEND failed "exit status ${status}, expected ${expected_status}\n")
endif()
if(EXISTS ${dir}/${stem}.err)
  file(READ ${dir}/${stem}.err expected_err)
  string(STRIP "${expected_err}" expected_err)
  string(FIND "${err}" "${expected_err}" at)
  if(at EQUAL -1)
    string(APPEND failed "stderr lacks \"${expected_err}\"\n")
  endif()
endif()
if(failed)
  message(FATAL_ERROR "${name}: ${failed}stderr:\n${err}")
endif()
