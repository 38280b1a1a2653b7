add_executable(bench_records ${CMAKE_CURRENT_LIST_DIR}/bench_records.cpp)
target_link_libraries(bench_records PRIVATE veska_records benchmark::benchmark)
