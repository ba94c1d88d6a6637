# Card discovery: hot-plug latency, reads of disks that are not cards, idle CPU (root).
if(TARGET vaultdesk_models AND TARGET vix_test_support)
  add_executable(bench_discovery ${CMAKE_CURRENT_LIST_DIR}/discovery_bench.cpp)
  target_include_directories(bench_discovery PRIVATE ${CMAKE_SOURCE_DIR}/tests/desktop/models)
  target_link_libraries(bench_discovery PRIVATE vaultdesk_models vix_test_support)
endif()
