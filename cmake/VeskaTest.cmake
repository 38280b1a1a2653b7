# veska_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# Builds one test executable and registers it with CTest. GUI code runs headless.
function(veska_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=print_stacktrace=1;TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1 suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp"
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}")
endfunction()

# veska_add_layer(<target> [DEPS <targets...>])
# One static library per source folder; every .cpp/.h/.qrc in the folder belongs to it,
# so adding a class means adding its two files and nothing else.
function(veska_add_layer target)
  cmake_parse_arguments(L "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  if(NOT srcs)
    # A layer whose classes are still to come.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${L_DEPS})
    return()
  endif()
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${L_DEPS})
endfunction()
