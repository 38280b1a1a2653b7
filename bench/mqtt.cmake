# MQTT publisher against a local mosquitto started by the benchmark (as the tests do).
if(TARGET veska_mqtt_test_support)
  add_executable(bench_mqtt ${CMAKE_CURRENT_LIST_DIR}/bench_mqtt.cpp)
  target_link_libraries(bench_mqtt PRIVATE veska_network veska_mqtt_test_support benchmark::benchmark)
endif()
