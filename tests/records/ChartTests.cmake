# History chart: paging, fill, chart values, reset, points per page, picture file.
veska_add_test(NAME test_chart
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ChartPagingTest.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ChartHistoryTest.cpp
  LIBS veska_records GTest::gtest Qt6::Test
  LABELS records chart)
