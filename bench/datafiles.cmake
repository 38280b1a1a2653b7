add_executable(bench_datafiles ${CMAKE_CURRENT_LIST_DIR}/bench_datafiles.cpp)
target_link_libraries(bench_datafiles PRIVATE veska_records benchmark::benchmark SQLite::SQLite3)
