# The native build (flavour "native", cmake/native-i386.cmake): the portable
# units as libraries of their own, their tests and the fuzz targets, under
# AddressSanitizer and UndefinedBehaviorSanitizer. Nothing here is part of a
# Windows run-time library.
set(native_sanitize -fsanitize=address,undefined -fno-sanitize-recover=all)
# Warnings are errors here: this build is the check that the portable units
# stay clean without <windows.h>.
add_compile_options(-O1 -g -fno-omit-frame-pointer ${native_sanitize}
                    -fsanitize=fuzzer-no-link -Wall -Wextra -Werror)
add_link_options(${native_sanitize})
include_directories(${CMAKE_SOURCE_DIR})

set(src ${CMAKE_SOURCE_DIR})
file(GLOB native_core_sources ${src}/core/*.cpp)
list(REMOVE_ITEM native_core_sources ${src}/core/platform_win32.cpp ${src}/core/DateImpWin32.cpp)
add_library(native_platform STATIC ${src}/testsupport/native/platform_posix.cpp)
add_library(native_core STATIC ${native_core_sources})
target_link_libraries(native_core PUBLIC native_platform)

add_library(native_files STATIC ${src}/files/ByteStream.cpp ${src}/files/TextStreams.cpp
                                ${src}/files/BinaryStream.cpp ${src}/files/BufferedStream.cpp)
target_link_libraries(native_files PUBLIC native_core)

file(GLOB native_storage_sources ${src}/database/storage/*.cpp)
add_library(native_storage STATIC ${native_storage_sources})
target_link_libraries(native_storage PUBLIC native_files native_core)

set(native_graphics_units PackedDIB RunLengthPixels PixelOps SurfacePixels ShapeGeometry
                          Rect16 Shapes2D StrokeGeometry)
list(TRANSFORM native_graphics_units PREPEND ${src}/graphics/)
list(TRANSFORM native_graphics_units APPEND .cpp)
add_library(native_graphics STATIC ${native_graphics_units})
target_link_libraries(native_graphics PUBLIC native_core)

# GoogleTest from the distribution's sources, built with the same flags.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The test support the portable tests use; the main registers what start-up
# registers (the shape classes need the graphics library).
set(native_support_sources BoxRecordingTest ClassBuilder MemoryFileStream FakePictureSize)
list(TRANSFORM native_support_sources PREPEND ${src}/testsupport/)
list(TRANSFORM native_support_sources APPEND .cpp)
add_library(native_testsupport STATIC ${native_support_sources}
                                      ${src}/testsupport/native/GuardedBuffer.cpp)
target_link_libraries(native_testsupport PUBLIC native_core GTest::gtest)
add_library(native_testmain STATIC ${src}/testsupport/native/NativeTestMain.cpp)
target_link_libraries(native_testmain PUBLIC native_testsupport native_graphics)

enable_testing()
set(NATIVE_SANITIZER_OPTIONS
    "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1"
    "LSAN_OPTIONS=suppressions=${src}/testsupport/native/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# native_unit_tests(name FILTER <gtest filter> SOURCES <sources> LIBS <libraries>):
# one test program under CTest; the filter names the tests left out natively.
function(native_unit_tests name)
  cmake_parse_arguments(arg "" "FILTER" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  # The native stand-ins of Windows-only support headers come first.
  target_include_directories(${name} BEFORE PRIVATE ${CMAKE_SOURCE_DIR}/testsupport/native/include)
  target_link_libraries(${name} PRIVATE native_testmain ${arg_LIBS})
  set(filter "*")
  if(arg_FILTER)
    set(filter "${arg_FILTER}")
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "${NATIVE_SANITIZER_OPTIONS}")
endfunction()

# native_fuzz_target(name SOURCES <sources> LIBS <libraries> CORPUS <folder>):
# a libFuzzer program, and a CTest entry that runs it once over its corpus.
function(native_fuzz_target name)
  cmake_parse_arguments(arg "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${arg_SOURCES})
  target_include_directories(fuzz_${name} BEFORE PRIVATE ${CMAKE_SOURCE_DIR}/testsupport/native/include)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE native_fuzz_support native_testsupport ${arg_LIBS})
  add_test(NAME fuzz_${name} COMMAND fuzz_${name} -runs=0 -timeout=10 ${arg_CORPUS})
  set_tests_properties(fuzz_${name} PROPERTIES TIMEOUT 120 LABELS fuzz
                       ENVIRONMENT "${NATIVE_SANITIZER_OPTIONS}")
  set_property(GLOBAL APPEND PROPERTY NATIVE_FUZZ_TARGETS ${name})
endfunction()

include(${src}/tests/NativeTests.cmake)
