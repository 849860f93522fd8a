# GoogleTest from the distribution's source package, built with our toolchain.
# Included once: by the tests, and by the demo for its class builder.
include_guard(GLOBAL)
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One executable per folder, added to CTest whole: one wine start per folder.
# runtime_add_test_executable(name support sources...) links the given test
# support library (testsupport_core for the core's tests);
# runtime_add_test_folder(name sources...) links testsupport, whose main starts
# the run-time's host first: the tests of every folder from host/ on. Each
# program fills the blocks it frees (testsupport/FreedBlockFill.cpp).
function(runtime_add_test_executable name support)
  add_executable(${name} ${ARGN} ${CMAKE_SOURCE_DIR}/testsupport/FreedBlockFill.cpp)
  target_link_libraries(${name} PRIVATE ${support} GTest::gtest)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

function(runtime_add_test_folder name)
  runtime_add_test_executable(${name} testsupport ${ARGN})
endfunction()
