# vaultcli on a virtual card attached as a disk, with the real helper programs
# (root only; the tests skip with the reason otherwise).
if(TARGET vaultcli_disk AND TARGET vix_test_support)
  add_executable(cli_disk_tests ${CMAKE_CURRENT_LIST_DIR}/disk_tour_test.cpp)
  target_link_libraries(cli_disk_tests PRIVATE vix_test_support GTest::gtest_main)
  target_compile_definitions(cli_disk_tests PRIVATE VAULTCLI_DISK_PATH="$<TARGET_FILE:vaultcli_disk>"
                                                 VIX_DISK_HELPER_DIR="${VIX_DISK_HELPER_DIR}")
  add_dependencies(cli_disk_tests vaultcli_disk)
  gtest_discover_tests(cli_disk_tests DISCOVERY_TIMEOUT 60 PROPERTIES RESOURCE_LOCK vix_disk)
endif()
