# cmake -DPROGRAM=<executable> -DFORBIDDEN=<a,b> -P check_links.cmake
# Fails when the program loads a shared library whose name holds one of the words.
execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE libs RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ldd ${PROGRAM} failed")
endif()
string(REPLACE "," ";" words "${FORBIDDEN}")
foreach(word ${words})
  string(REGEX MATCH "[^\n\t ]*${word}[^\n\t ]*" hit "${libs}")
  if(hit)
    message(FATAL_ERROR "${PROGRAM} links ${hit}")
  endif()
endforeach()
