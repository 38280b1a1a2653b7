# Data files: open, save as table copy or text, printed report, command-line entry points.
veska_add_test(NAME test_data_files SOURCES DataFilesTest.cpp RecordReportTest.cpp SafeWriteTest.cpp
               ForeignRecordFileTest.cpp RecordingTestMain.cpp
               LIBS veska_records Qt6::Test GTest::gtest SQLite::SQLite3)
