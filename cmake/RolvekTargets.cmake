# One place that sets warnings, sanitizers and hardening for every target of the project.

include(CheckPIESupported)
check_pie_supported()  # so POSITION_INDEPENDENT_CODE links executables with -pie

function(rolvek_apply_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ROLVEK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(ROLVEK_SANITIZE STREQUAL "")
    # Hardened as Debian builds its packages; fortification needs the optimiser, so not in Debug.
    # The sanitizer and fuzz builds (ROLVEK_SANITIZE set) do without: they check, not ship.
    set_property(TARGET ${target} PROPERTY POSITION_INDEPENDENT_CODE ON)
    target_compile_options(${target} PRIVATE -fstack-protector-strong)
    target_compile_definitions(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
  elseif(ROLVEK_SANITIZE STREQUAL "address")
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
# One GoogleTest runner per source folder, linked with the test support under testing/; every
# test case becomes its own ctest test. The label
# "threaded" marks runners that `make test-tsan` runs under ThreadSanitizer.
function(rolvek_add_test_runner)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  if(NOT ROLVEK_BUILD_TESTS OR NOT T_SOURCES)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  # The test support first: its header-only parts call into the qdx that T_LIBS brings.
  target_link_libraries(${T_NAME} PRIVATE qdx_testing ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
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
