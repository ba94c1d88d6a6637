# Download engine against `cp -r` + `sync` on a generated tree of about 1 GiB, and at card speed.
if(TARGET vaultdesk_models)
  add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp)
  target_link_libraries(bench_download PRIVATE vaultdesk_models)
  target_compile_definitions(bench_download PRIVATE
    VIX_BENCH_WORK_DIR="${CMAKE_CURRENT_BINARY_DIR}/download-work")
  # Proof and hashing are private to the models library; the bench measures them directly.
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_link_libraries(bench_download PRIVATE OpenSSL::Crypto)
  # The card-speed figure needs the virtual card as a disk.
  if(TARGET vix_test_support)
    target_link_libraries(bench_download PRIVATE vix_test_support)
    target_compile_definitions(bench_download PRIVATE VIX_BENCH_CARD)
  endif()
endif()
