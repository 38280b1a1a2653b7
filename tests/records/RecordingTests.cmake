# Table engine, record table, recording rules and record grid.
add_executable(recording_test_helper RecordingTestHelper.cpp)
target_link_libraries(recording_test_helper PRIVATE veska_records)

veska_add_test(NAME test_table_engine SOURCES TableEngineTest.cpp RecordingTestMain.cpp
               LIBS veska_records GTest::gtest)
target_compile_definitions(test_table_engine PRIVATE
                           VESKA_RECORDING_HELPER="$<TARGET_FILE:recording_test_helper>")
add_dependencies(test_table_engine recording_test_helper)

veska_add_test(NAME test_recording SOURCES RecordingTest.cpp RecordingJournalTest.cpp RecordingTestMain.cpp
               LIBS veska_records Qt6::Test GTest::gtest)
target_compile_definitions(test_recording PRIVATE
                           VESKA_RECORDING_HELPER="$<TARGET_FILE:recording_test_helper>")
add_dependencies(test_recording recording_test_helper)

veska_add_test(NAME test_record_grid SOURCES RecordGridTest.cpp RecordingTestMain.cpp
               LIBS veska_records GTest::gtest)
