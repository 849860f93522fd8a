# The layer check over tree/, whose core/ reaches up to host/ and ui/ in every
# form an include takes (angle brackets, relative, rooted, from a subfolder)
# next to includes that stay in place or name system headers: it must fail
# and name exactly the upward ones.
#   cmake -DCHECK=<CheckLayers.cmake> -P check_layers_test.cmake
set(tree ${CMAKE_CURRENT_LIST_DIR}/tree)
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} "-DLAYERS=core;host;ui" -P ${CHECK}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "The check passed a tree with upward includes:\n${output}")
endif()

set(expected
    "core/Angle.h: #include <host/Host.h> (core is below host)"
    "core/Relative.cpp: #include \"../host/Host.h\" (core is below host)"
    "core/Rooted.c: #  include \"host/Host.h\" (core is below host)"
    "core/deep/Deep.cpp: #include \"../../ui/Ui.h\" (core is below ui)")
string(REGEX MATCHALL "[A-Za-z/]+\\.[ch]p*: #[^\n]*" named "${output}")
if(NOT named STREQUAL expected)
  list(JOIN expected "\n" expected_text)
  message(FATAL_ERROR "Expected the check to name\n${expected_text}\nbut it said:\n${output}")
endif()
message(STATUS "The check names each upward include and nothing else")
