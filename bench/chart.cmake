add_executable(bench_chart ${CMAKE_CURRENT_LIST_DIR}/bench_chart.cpp)
target_link_libraries(bench_chart PRIVATE veska_records benchmark::benchmark)
