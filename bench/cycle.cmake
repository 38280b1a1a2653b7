add_executable(bench_cycle ${CMAKE_CURRENT_LIST_DIR}/bench_cycle.cpp)
target_link_libraries(bench_cycle PRIVATE veska_app)
