# cmake -DPROGRAM=<gtest program> -DFILTER=<gtest filter> -P run_unprivileged.cmake
# As root: runs the selected cases as "nobody" and fails unless every one of them ran
# and passed. Not root: the ordinary run already covers them, so this one is skipped.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT uid STREQUAL "0")
  message("not root: the ordinary test run covers these cases")
  cmake_language(EXIT 77)
endif()
find_program(SETPRIV setpriv REQUIRED)
string(RANDOM LENGTH 8 tag)
set(dir "/tmp/orvel-unprivileged-${tag}")
file(MAKE_DIRECTORY ${dir})
file(COPY ${PROGRAM} DESTINATION ${dir})
get_filename_component(exe ${PROGRAM} NAME)
execute_process(COMMAND chmod -R a+rwX ${dir})
execute_process(
  COMMAND ${SETPRIV} --reuid=nobody --regid=nogroup --clear-groups
          env HOME=${dir} TMPDIR=${dir} XDG_RUNTIME_DIR=${dir} QT_QPA_PLATFORM=offscreen
          ${dir}/${exe} --gtest_filter=${FILTER}
  WORKING_DIRECTORY ${dir}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
file(REMOVE_RECURSE ${dir})
message("${out}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the cases failed as nobody (status ${status}):\n${err}")
endif()
if(out MATCHES "SKIPPED" OR NOT out MATCHES "PASSED")
  message(FATAL_ERROR "a selected case skipped or none ran as nobody")
endif()
