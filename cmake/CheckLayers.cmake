# The layer check: reads every source of the run-time's folders and fails,
# naming the file and line, where one includes a header of a folder later in
# the order. Tests, test support, the demo and the benchmarks may include
# anything, so they are not read.
#   cmake -DSOURCE_DIR=<checkout> "-DLAYERS=core;host;..." -P CheckLayers.cmake
if(NOT SOURCE_DIR OR NOT LAYERS)
  message(FATAL_ERROR "CheckLayers.cmake needs SOURCE_DIR and LAYERS")
endif()

set(violations "")
list(LENGTH LAYERS layer_count)
math(EXPR last "${layer_count} - 1")
foreach(rank RANGE ${last})
  list(GET LAYERS ${rank} folder)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp
       ${SOURCE_DIR}/${folder}/*.c)
  foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
    foreach(line ${lines})
      string(REGEX MATCH "\"([A-Za-z_]+)/" unused "${line}")
      list(FIND LAYERS "${CMAKE_MATCH_1}" included_rank)
      if(included_rank GREATER rank)
        file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
        string(STRIP "${line}" line)
        string(APPEND violations "  ${name}: ${line} (${folder} is below ${CMAKE_MATCH_1})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Upward includes:\n${violations}")
endif()
message(STATUS "Layers: ${LAYERS}: no upward include")
