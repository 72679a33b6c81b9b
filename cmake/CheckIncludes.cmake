# Checks that every #include points down the layers (docs/DEVELOPING.md):
#
#   lib/      may include from lib/ only
#   ui/       lib/, ui/
#   res/      lib/, res/
#   app/      lib/, ui/, res/, app/
#   tools/    lib/, tools/
#   testing/  lib/, ui/, testing/
#
# and a test file (*_test.cpp) may include the test support under testing/ as well.
# Run as a ctest test:  cmake -DSOURCE_DIR=<source tree> -P cmake/CheckIncludes.cmake
#
# An include is judged by the files of the source tree it can name: the path beside the including
# file first, else every file whose path ends in the included name. It is refused when all of them
# lie in layers the including file may not use; names that match no file (system and Qt headers,
# generated ones) are not this check's business.

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<source tree> -P CheckIncludes.cmake")
endif()

set(layers lib ui res app tools testing)
set(allowed_lib lib)
set(allowed_ui lib ui)
set(allowed_res lib res)
set(allowed_app lib ui res app)
set(allowed_tools lib tools)
set(allowed_testing lib ui testing)

# Every file of the layers, indexed by its name: by_<name> holds the paths that end in it.
set(files "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE found RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.hpp"
       "${SOURCE_DIR}/${layer}/*.cpp")
  list(APPEND files ${found})
endforeach()
foreach(path IN LISTS files)
  get_filename_component(name "${path}" NAME)
  list(APPEND "by_${name}" "${path}")
endforeach()

# The layer of a path relative to the source tree: its first folder.
macro(layer_of path out)
  string(REGEX REPLACE "/.*" "" ${out} "${path}")
endmacro()

set(violations "")
set(checked 0)
foreach(path IN LISTS files)
  layer_of("${path}" layer)
  set(may ${allowed_${layer}})
  if(path MATCHES "_test\\.cpp$")
    list(APPEND may testing)
  endif()
  get_filename_component(here "${SOURCE_DIR}/${path}" DIRECTORY)
  file(STRINGS "${SOURCE_DIR}/${path}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    math(EXPR checked "${checked} + 1")
    string(REGEX MATCH "[<\"]([^>\"]+)[>\"]" _ "${line}")
    set(included "${CMAKE_MATCH_1}")
    # The files this include can name.
    set(targets "")
    get_filename_component(beside "${here}/${included}" ABSOLUTE)
    if(EXISTS "${beside}" AND NOT IS_DIRECTORY "${beside}")
      file(RELATIVE_PATH target "${SOURCE_DIR}" "${beside}")
      list(APPEND targets "${target}")
    else()
      get_filename_component(name "${included}" NAME)
      foreach(candidate IN LISTS "by_${name}")
        string(LENGTH "${candidate}" candidate_length)
        string(LENGTH "/${included}" included_length)
        if(candidate_length GREATER_EQUAL included_length)
          math(EXPR start "${candidate_length} - ${included_length}")
          string(SUBSTRING "${candidate}" ${start} -1 tail)
          if(tail STREQUAL "/${included}")
            list(APPEND targets "${candidate}")
          endif()
        endif()
      endforeach()
    endif()
    if(NOT targets)
      continue()
    endif()
    set(fine FALSE)
    foreach(target IN LISTS targets)
      layer_of("${target}" target_layer)
      if(target_layer IN_LIST may)
        set(fine TRUE)
      endif()
    endforeach()
    if(NOT fine)
      list(JOIN targets ", " named)
      list(JOIN may "/, " may_text)
      string(STRIP "${line}" line)
      string(APPEND violations "${path}: ${line} reaches ${named}; ${layer}/ may include from ${may_text}/ only\n")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that point the wrong way (see docs/DEVELOPING.md):\n${violations}")
endif()
list(LENGTH files file_count)
message(STATUS "${checked} includes in ${file_count} files point down the layers")
