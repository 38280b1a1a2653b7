add_executable(bench_protocol ${CMAKE_CURRENT_LIST_DIR}/bench_protocol.cpp)
target_link_libraries(bench_protocol PRIVATE veska_protocol benchmark::benchmark)
# The benchmark replaces global new/delete with malloc/free to count allocations.
target_compile_options(bench_protocol PRIVATE -Wno-mismatched-new-delete)
