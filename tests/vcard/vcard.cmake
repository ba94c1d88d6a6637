# Tests of the virtual card: the vcard library on its own, and vaultsim driven
# through the real transport and command layer.
if(TARGET vcard)
  add_executable(vcard_unit_tests
    ${CMAKE_CURRENT_LIST_DIR}/card_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/protocol_test.cpp)
  target_link_libraries(vcard_unit_tests PRIVATE vcard GTest::gtest_main)
  gtest_discover_tests(vcard_unit_tests DISCOVERY_TIMEOUT 60)
endif()

if(TARGET vix_test_support)
  add_executable(vcard_fixture_test
    ${CMAKE_CURRENT_LIST_DIR}/fixture_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program_test.cpp)
  target_link_libraries(vcard_fixture_test PRIVATE vix_test_support GTest::gtest_main)
  gtest_discover_tests(vcard_fixture_test DISCOVERY_TIMEOUT 60)
endif()

# Through the real transport, command layer and API; the API's follow-ups run
# the fake helper programs.
if(TARGET vix_test_support AND TARGET cardlib AND TARGET vix_fake_helpers)
  add_executable(vcard_cardlib_tests
    ${CMAKE_CURRENT_LIST_DIR}/fault_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/life_cycle_test.cpp)
  target_link_libraries(vcard_cardlib_tests PRIVATE cardlib vix_test_support vix_fake_helpers
                                                    GTest::gtest_main)
  gtest_discover_tests(vcard_cardlib_tests DISCOVERY_TIMEOUT 60)
endif()

# Disk mode (root only; the tests skip with the reason otherwise), with vaultcli as
# the host's side.
if(TARGET vix_test_support AND TARGET vaultcli_disk)
  add_executable(vcard_disk_tests ${CMAKE_CURRENT_LIST_DIR}/disk_test.cpp)
  target_link_libraries(vcard_disk_tests PRIVATE vix_test_support GTest::gtest_main)
  target_compile_definitions(vcard_disk_tests PRIVATE
                             VAULTCLI_DISK_PATH="$<TARGET_FILE:vaultcli_disk>")
  gtest_discover_tests(vcard_disk_tests DISCOVERY_TIMEOUT 60 PROPERTIES RESOURCE_LOCK vix_disk)
endif()
