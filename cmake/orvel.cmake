# orvel_library(NAME [DEPS ...]): one library per subsystem folder, from every .cpp in it.
function(orvel_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)  # a folder that has no unit yet
    add_library(orvel_${name} INTERFACE)
    target_include_directories(orvel_${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(orvel_${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(orvel_${name} STATIC ${sources})
  target_include_directories(orvel_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(orvel_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# orvel_test(NAME [DEPS ...]): one GoogleTest executable per tests/ folder, from every
# .cpp in it. A folder with its own main.cpp provides main (for example to start a
# QApplication); otherwise gtest_main does.
function(orvel_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)  # a folder whose tests are not written yet
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} GTest::gtest)
  if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
    target_link_libraries(test_${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(test_${name} PRIVATE
    ORVEL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}"
    ORVEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # Listing the tests starts the program too: Qt must not look for a display then.
  set_target_properties(test_${name} PROPERTIES
    CROSSCOMPILING_EMULATOR "/usr/bin/env;QT_QPA_PLATFORM=offscreen")
  include(GoogleTest)
  gtest_discover_tests(test_${name}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# orvel_unprivileged_test(NAME FILTER): runs the cases of test_NAME that FILTER selects
# once more as the user "nobody" when the tests run as root, because the superuser
# passes every permission check and such cases would only skip. The program is copied
# to a folder nobody can reach (the build folder may not be), and the run fails when a
# selected case skipped or none ran.
function(orvel_unprivileged_test name filter)
  if(TARGET test_${name})
    add_test(NAME unprivileged/${name}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:test_${name}> "-DFILTER=${filter}"
              -P ${PROJECT_SOURCE_DIR}/cmake/run_unprivileged.cmake)
    set_tests_properties(unprivileged/${name} PROPERTIES SKIP_RETURN_CODE 77
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
