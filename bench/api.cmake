# Cost of the API frame around one card exchange, against the virtual card.
if(TARGET cardlib AND TARGET vix_test_support)
  add_executable(bench_api ${CMAKE_CURRENT_LIST_DIR}/api_bench.cpp)
  target_link_libraries(bench_api PRIVATE cardlib cardlib_private vix_test_support benchmark::benchmark)
endif()
