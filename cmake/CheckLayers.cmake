# The layer check: reads every source of the run-time's folders and fails,
# naming the file and line, where one includes a header of a folder later in
# the order. Each include is resolved to its file as the compiler finds it:
# "name" beside the source first, then under the checkout (the one include
# root); <name> under the checkout only. The folder checked is that of the
# file found, so "../ui/X.h" and <ui/X.h> count as "ui/X.h" does; a name that
# resolves to no file of the checkout (a system header) is not ours.
# Tests, test support, the demo and the benchmarks may include anything, so
# they are not read.
#   cmake -DSOURCE_DIR=<checkout> "-DLAYERS=core;host;..." -P CheckLayers.cmake
if(NOT SOURCE_DIR OR NOT LAYERS)
  message(FATAL_ERROR "CheckLayers.cmake needs SOURCE_DIR and LAYERS")
endif()
cmake_path(ABSOLUTE_PATH SOURCE_DIR NORMALIZE)

# The layer folder of the file an include names, in `out`; "" when the name
# resolves to no file of a layer folder.
function(included_folder source line out)
  set(${out} "" PARENT_SCOPE)
  if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
    get_filename_component(beside ${source} DIRECTORY)
    set(candidates ${beside}/${CMAKE_MATCH_1} ${SOURCE_DIR}/${CMAKE_MATCH_1})
  elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
    set(candidates ${SOURCE_DIR}/${CMAKE_MATCH_1})
  else()
    return()
  endif()
  foreach(candidate ${candidates})
    cmake_path(NORMAL_PATH candidate)
    if(NOT EXISTS ${candidate} OR IS_DIRECTORY ${candidate})
      continue()
    endif()
    cmake_path(IS_PREFIX SOURCE_DIR ${candidate} NORMALIZE inside)
    if(NOT inside)
      return()
    endif()
    file(RELATIVE_PATH relative ${SOURCE_DIR} ${candidate})
    string(REGEX REPLACE "/.*" "" folder "${relative}")
    set(${out} ${folder} PARENT_SCOPE)
    return()
  endforeach()
endfunction()

set(violations "")
list(LENGTH LAYERS layer_count)
math(EXPR last "${layer_count} - 1")
foreach(rank RANGE ${last})
  list(GET LAYERS ${rank} folder)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp
       ${SOURCE_DIR}/${folder}/*.c)
  foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line ${lines})
      included_folder(${source} "${line}" included)
      list(FIND LAYERS "${included}" included_rank)
      if(included_rank GREATER rank)
        file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
        string(STRIP "${line}" line)
        string(APPEND violations "  ${name}: ${line} (${folder} is below ${included})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Upward includes:\n${violations}")
endif()
message(STATUS "Layers: ${LAYERS}: no upward include")
