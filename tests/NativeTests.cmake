# The native build's tests and fuzz targets, one line (or one call) per unit.
# Each test left out natively is named in its filter with the reason.
set(t ${CMAKE_SOURCE_DIR}/tests)

file(GLOB native_core_test_sources ${t}/core/*.cpp)
# date_test: the dates are checked against the Win32 time-zone calls.
list(REMOVE_ITEM native_core_test_sources ${t}/core/date_test.cpp)
# FreedBlockFillTest reads freed blocks on purpose (ASan watches them itself).
# EncodingTest.WhatACodePageCannotHoldBecomesAQuestionMark: iconv's Shift-JIS
# maps the yen sign to 0x5C, where the Windows code page table has none.
native_unit_tests(native_core_tests SOURCES ${native_core_test_sources}
                  FILTER "-FreedBlockFillTest.*:EncodingTest.WhatACodePageCannotHoldBecomesAQuestionMark")

native_unit_tests(native_graphics_tests
                  SOURCES ${t}/graphics/packed_dib_test.cpp ${t}/graphics/pixel_ops_test.cpp
                          ${t}/graphics/surface_pixels_test.cpp
                          ${t}/graphics/shape_geometry_test.cpp
                          ${t}/graphics/shape_classes_test.cpp
                          ${t}/graphics/stroke_geometry_test.cpp
                          ${t}/graphics/raster_shear_test.cpp
                  LIBS native_graphics native_rotation)

native_unit_tests(native_dbstore_tests
                  SOURCES ${t}/database/dbstore_support.cpp ${t}/database/dbstore_file_test.cpp
                          ${t}/database/dbstore_keys_test.cpp ${t}/database/dbstore_tree_test.cpp
                          ${t}/database/dbstore_corrupt_test.cpp
                          ${t}/database/dbstore_recovery_test.cpp ${t}/database/dbstore_layout_test.cpp
                  LIBS native_storage)
target_compile_definitions(native_dbstore_tests PRIVATE
                           DBSTORE_FILES="${t}/database/dbstore-files")

# The engine's portable layers over the storage core: values, catalog,
# BLOBs, conditions and table cursors.
set(native_engine_sources ${CMAKE_SOURCE_DIR}/database/api/DBInterface.cpp
                          ${CMAKE_SOURCE_DIR}/database/api/DBValue.cpp)
foreach(unit FieldValues EngineDatabase Catalog Blob Condition TableCursor)
  list(APPEND native_engine_sources ${CMAKE_SOURCE_DIR}/database/engine/${unit}.cpp)
endforeach()
add_library(native_engine STATIC ${native_engine_sources})
target_link_libraries(native_engine PUBLIC native_storage)
native_unit_tests(native_dbengine_tests
                  SOURCES ${t}/database/dbstore_support.cpp ${t}/database/dbengine_catalog_test.cpp
                          ${t}/database/dbengine_blob_test.cpp ${t}/database/dbengine_cursor_test.cpp
                          ${t}/database/dbengine_condition_test.cpp
                  LIBS native_engine)
target_compile_definitions(native_dbengine_tests PRIVATE
                           DBSTORE_FILES="${t}/database/dbstore-files")

# The query results' portable core: value order, the sort's runs and merges,
# the grouping, over spools in memory.
set(native_results_units ValueOrder RowSpool RowSort RowGrouping)
list(TRANSFORM native_results_units PREPEND ${CMAKE_SOURCE_DIR}/database/results/)
list(TRANSFORM native_results_units APPEND .cpp)
add_library(native_results STATIC ${native_results_units}
                                  ${CMAKE_SOURCE_DIR}/testsupport/native/NativeSpoolStream.cpp)
target_link_libraries(native_results PUBLIC native_engine native_testsupport)
native_unit_tests(native_dbresult_tests SOURCES ${t}/database/dbresult_order_test.cpp
                                                  ${t}/database/dbapi_value_text_test.cpp
                  LIBS native_results)

# The stream forms and the buffer layer over files in memory, and the block
# map of virtual volumes (the rest of tests/files reads back through Win32).
native_unit_tests(native_files_tests
                  SOURCES ${t}/files/stream_forms_test.cpp ${t}/files/buffered_memory_test.cpp
                          ${t}/files/block_map_test.cpp
                  LIBS native_volume)

# The other portable units compile here too, warnings as errors: the native
# build is where a <windows.h> reaching them shows.
set(native_checked_units graphics/WaveChunks
                         database/sql/SQLRowCheck files/ResourceFork
                         files/FileTypes files/FolderItemImp files/Win32PathText files/SaveInfo
                         controls/listbox/ListColumnModel controls/listbox/StableSort controls/editfield/StyleRecord
                         graphics/PrinterSetupString)
list(TRANSFORM native_checked_units PREPEND ${CMAKE_SOURCE_DIR}/)
list(TRANSFORM native_checked_units APPEND .cpp)
add_library(native_checked_units OBJECT ${native_checked_units})
target_compile_options(native_checked_units PRIVATE -Werror)

# The fuzz targets, each run once over its committed corpus by CTest
# (./fuzz.sh runs them for longer). make_corpus writes the seed files.
set(f ${t}/fuzz)
add_library(native_fuzz_support STATIC ${f}/FuzzSupport.cpp)
target_link_libraries(native_fuzz_support PUBLIC native_core)
native_fuzz_target(dbfile SOURCES ${f}/dbfile_fuzz.cpp ${t}/database/dbstore_support.cpp
                   LIBS native_storage CORPUS ${f}/corpus/dbfile)
target_compile_definitions(fuzz_dbfile PRIVATE DBSTORE_FILES="${t}/database/dbstore-files")
native_fuzz_target(dib SOURCES ${f}/dib_fuzz.cpp LIBS native_graphics CORPUS ${f}/corpus/dib)
native_fuzz_target(streams SOURCES ${f}/streams_fuzz.cpp LIBS native_files
                   CORPUS ${f}/corpus/streams)
native_fuzz_target(pixels SOURCES ${f}/pixels_fuzz.cpp LIBS native_graphics
                   CORPUS ${f}/corpus/pixels)
native_fuzz_target(geometry SOURCES ${f}/geometry_fuzz.cpp LIBS native_graphics
                   CORPUS ${f}/corpus/geometry)
add_library(native_row_selection STATIC ${CMAKE_SOURCE_DIR}/controls/listbox/RowSelection.cpp)
target_link_libraries(native_row_selection PUBLIC native_core)
native_fuzz_target(row_selection SOURCES ${f}/row_selection_fuzz.cpp LIBS native_row_selection
                   CORPUS ${f}/corpus/row_selection)
# The SQL front-end's tokenizer and parsers; seeds from the SQL corpus.
set(native_sql_units SQLTokenizer SQLCondition SQLStatements)
list(TRANSFORM native_sql_units PREPEND ${CMAKE_SOURCE_DIR}/database/sql/)
list(TRANSFORM native_sql_units APPEND .cpp)
add_library(native_sql STATIC ${native_sql_units})
target_link_libraries(native_sql PUBLIC native_core)
native_fuzz_target(sql SOURCES ${f}/sql_fuzz.cpp LIBS native_sql CORPUS ${f}/corpus/sql)
native_unit_tests(native_dbsql_tests SOURCES ${t}/database/dbsql_grammar_test.cpp LIBS native_sql)
# The virtual-volume container and its file system; seeds from VHFS itself.
add_library(native_volume STATIC ${CMAKE_SOURCE_DIR}/files/VFSCore.cpp
                                 ${CMAKE_SOURCE_DIR}/files/VHFS.cpp ${CMAKE_SOURCE_DIR}/files/BlockMap.cpp)
target_link_libraries(native_volume PUBLIC native_files native_core)
native_fuzz_target(volume SOURCES ${f}/volume_fuzz.cpp LIBS native_volume CORPUS ${f}/corpus/volume)
native_fuzz_target(engine SOURCES ${f}/engine_fuzz.cpp ${t}/database/dbstore_support.cpp
                   LIBS native_engine CORPUS ${f}/corpus/engine)
target_compile_definitions(fuzz_engine PRIVATE DBSTORE_FILES="${t}/database/dbstore-files")
add_library(native_rotation STATIC ${CMAKE_SOURCE_DIR}/graphics/RasterRotation.cpp)
target_link_libraries(native_rotation PUBLIC native_core)
native_fuzz_target(rotation SOURCES ${f}/rotation_fuzz.cpp LIBS native_rotation
                   CORPUS ${f}/corpus/rotation)
# Metafile records as the enumeration hands them; seeds from the metafile
# writer of the import tests.
add_library(native_emf STATIC ${CMAKE_SOURCE_DIR}/graphics/EmfRecords.cpp)
target_link_libraries(native_emf PUBLIC native_core)
native_fuzz_target(emf SOURCES ${f}/emf_fuzz.cpp LIBS native_emf CORPUS ${f}/corpus/emf)
# The sort and the grouping against a stable-sort model.
native_fuzz_target(sort SOURCES ${f}/sort_fuzz.cpp LIBS native_results CORPUS ${f}/corpus/sort)
# The seed writer: make_corpus tests/fuzz/corpus renews the committed seeds.
add_executable(make_corpus ${f}/make_corpus.cpp ${t}/database/dbstore_support.cpp
                           ${CMAKE_SOURCE_DIR}/testsupport/EmfWriter.cpp)
target_include_directories(make_corpus BEFORE PRIVATE ${CMAKE_SOURCE_DIR}/testsupport/native/include)
target_link_libraries(make_corpus PRIVATE native_testsupport native_engine native_graphics
                                          native_volume)
target_compile_definitions(make_corpus PRIVATE DBSTORE_FILES="${t}/database/dbstore-files"
                                               DBSQL_CORPUS="${t}/database/sql-corpus/statements.sql")
