add_executable(bench_readings ${CMAKE_CURRENT_LIST_DIR}/bench_readings.cpp)
target_link_libraries(bench_readings PRIVATE veska_protocol benchmark::benchmark)
# The benchmark replaces global new/delete with malloc/free to count allocations.
target_compile_options(bench_readings PRIVATE -Wno-mismatched-new-delete)
