# Serial path: pty -> TCommPortDriver -> VeskaSerialFraming -> DecodePacket, and the idle
# cost of a connected driver on a silent port.
add_executable(bench_serial ${CMAKE_CURRENT_SOURCE_DIR}/SerialBench.cpp)
target_link_libraries(bench_serial PRIVATE veska_serial benchmark::benchmark)
