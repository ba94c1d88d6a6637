# vaultcli: unit tests of its helpers, and end-to-end runs of the program
# against the virtual card.
if(TARGET vaultcli_utils)
  add_executable(cli_utils_tests ${CMAKE_CURRENT_LIST_DIR}/utils_test.cpp)
  target_link_libraries(cli_utils_tests PRIVATE vaultcli_utils GTest::gtest_main)
  target_compile_definitions(cli_utils_tests PRIVATE
                             VIX_CLI_TEST_DATA="${CMAKE_CURRENT_LIST_DIR}/data")
  gtest_discover_tests(cli_utils_tests DISCOVERY_TIMEOUT 60)
endif()
