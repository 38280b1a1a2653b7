# Display layer tests; display_doc_images is a hand-run tool, not a test.
veska_add_test(NAME test_display
  SOURCES DisplayTestMain.cpp AlarmSoundTest.cpp GaugeTest.cpp LcdPanelTest.cpp LimitPanelTest.cpp
  LIBS veska_display veska_session GTest::gtest Qt6::Widgets Qt6::Test)

add_executable(display_doc_images DisplayDocImages.cpp)
target_link_libraries(display_doc_images PRIVATE veska_display veska_session)
