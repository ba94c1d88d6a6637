# vaultcli: unit tests of its helpers, and end-to-end runs of the program
# against the virtual card.
if(TARGET vaultcli_utils)
  add_executable(cli_utils_tests ${CMAKE_CURRENT_LIST_DIR}/utils_test.cpp)
  target_link_libraries(cli_utils_tests PRIVATE vaultcli_utils GTest::gtest_main)
  target_compile_definitions(cli_utils_tests PRIVATE
                             VIX_CLI_TEST_DATA="${CMAKE_CURRENT_LIST_DIR}/data")
  gtest_discover_tests(cli_utils_tests DISCOVERY_TIMEOUT 60)
endif()

# End-to-end runs need the program, the virtual card fixture and the fake helpers
# (the card library of this build must call the fakes, not the real helpers).
if(TARGET vaultcli AND TARGET vix_test_support AND VIX_FAKE_HELPERS_READY)
  add_executable(cli_end_to_end_tests
    ${CMAKE_CURRENT_LIST_DIR}/end_to_end_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verdicts_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CliProcess.cpp)
  target_link_libraries(cli_end_to_end_tests PRIVATE vix_test_support GTest::gtest_main)
  target_compile_definitions(cli_end_to_end_tests PRIVATE
    VAULTCLI_PATH="$<TARGET_FILE:vaultcli>"
    VIX_HELPER_DIR="${VIX_HELPER_DIR}"
    VIX_CLI_TEST_DATA="${CMAKE_CURRENT_LIST_DIR}/data")
  add_dependencies(cli_end_to_end_tests vaultcli)
  # A card may outlast a command's 120 s time-out on purpose.
  gtest_discover_tests(cli_end_to_end_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 400)
endif()

# Devices that are not cards, a card held by another program, and the hidden prompt.
# The device files live in the build tree, since direct I/O does not work on tmpfs.
if(TARGET vaultcli AND TARGET vix_test_support AND VIX_FAKE_HELPERS_READY)
  set(CLI_SCRATCH_DIR ${CMAKE_BINARY_DIR}/tests/cli-scratch)
  file(MAKE_DIRECTORY ${CLI_SCRATCH_DIR})
  add_executable(cli_hardening_tests
    ${CMAKE_CURRENT_LIST_DIR}/hardening_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CliProcess.cpp
    ${PROJECT_SOURCE_DIR}/tests/partrescan/HostTools.cpp)
  target_include_directories(cli_hardening_tests PRIVATE
    ${PROJECT_SOURCE_DIR}/cardlib/src ${PROJECT_SOURCE_DIR}/tests/partrescan)
  target_link_libraries(cli_hardening_tests PRIVATE cardlib vix_test_support GTest::gtest_main)
  target_compile_definitions(cli_hardening_tests PRIVATE
    VAULTCLI_PATH="$<TARGET_FILE:vaultcli>"
    VIX_HELPER_DIR="${VIX_HELPER_DIR}"
    CLI_SCRATCH_DIR="${CLI_SCRATCH_DIR}")
  add_dependencies(cli_hardening_tests vaultcli)
  gtest_discover_tests(cli_hardening_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 400)
endif()

