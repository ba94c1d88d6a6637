# vaultdesk's start-up time and idle cost under Xvfb with a tray, one card attached.
if(TARGET vaultdesk AND TARGET vix_test_support)
  add_executable(bench_vaultdesk ${CMAKE_CURRENT_LIST_DIR}/vaultdesk_bench.cpp)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core)
  target_link_libraries(bench_vaultdesk PRIVATE vix_test_support Qt5::Core)
  target_compile_definitions(bench_vaultdesk PRIVATE
    VIX_VAULTDESK_PATH="$<TARGET_FILE:vaultdesk>"
    VIX_BENCH_WORK_DIR="${CMAKE_CURRENT_BINARY_DIR}/vaultdesk-work")
  add_dependencies(bench_vaultdesk vaultdesk)
endif()
