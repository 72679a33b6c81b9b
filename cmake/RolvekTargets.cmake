# One place that sets warnings and sanitizers for every target of the project.

function(rolvek_apply_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ROLVEK_SANITIZE STREQUAL "address")
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(ROLVEK_SANITIZE STREQUAL "thread")
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  elseif(NOT ROLVEK_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ROLVEK_SANITIZE must be empty, 'address' or 'thread'")
  endif()
endfunction()

# rolvek_add_test_runner(NAME <name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>]
#                        [LABELS <labels...>])
# One GoogleTest runner per source folder; every test case becomes its own ctest test. The label
# "threaded" marks runners that `make test-tsan` runs under ThreadSanitizer.
function(rolvek_add_test_runner)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  if(NOT ROLVEK_BUILD_TESTS OR NOT T_SOURCES)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  rolvek_apply_flags(${T_NAME})
  target_compile_definitions(${T_NAME} PRIVATE ROLVEK_TESTDATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/testdata"
                                               ROLVEK_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  # Labels and environment are lists, which gtest_discover_tests's PROPERTIES splits into
  # separate words (so "unit;threaded" never became a label). They are set on the discovered
  # tests by a script that ctest reads after the discovery script.
  set(props "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_properties.cmake")
  file(WRITE "${props}"
       "if(${T_NAME}_TESTS)\n"
       "  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABELS}\" ENVIRONMENT \"${T_ENV}\")\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${props}")
endfunction()
