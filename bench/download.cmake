# Download engine against `cp -r` + `sync` on a generated tree of about 1 GiB.
if(TARGET vaultdesk_models)
  add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp)
  target_link_libraries(bench_download PRIVATE vaultdesk_models)
  target_compile_definitions(bench_download PRIVATE
    VIX_BENCH_WORK_DIR="${CMAKE_CURRENT_BINARY_DIR}/download-work")
endif()
