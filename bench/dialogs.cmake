# The dialogs' opening time and the GUI's responsiveness during a throttled 1 GiB backup.
if(TARGET vaultdesk_views AND TARGET vix_test_support AND TARGET vix_disk_helper_paths)
  add_executable(bench_dialogs ${CMAKE_CURRENT_LIST_DIR}/dialogs_bench.cpp)
  target_link_libraries(bench_dialogs PRIVATE vaultdesk_views vix_test_support vix_disk_helper_paths)
  target_compile_definitions(bench_dialogs PRIVATE
    VIX_BENCH_WORK_DIR="${CMAKE_CURRENT_BINARY_DIR}/dialogs-work")
endif()
