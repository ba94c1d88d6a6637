# Tests of the virtual card: the vcard library on its own, and vaultsim driven
# through the real transport and command layer.
if(TARGET vcard)
  add_executable(vcard_unit_tests
    ${CMAKE_CURRENT_LIST_DIR}/FixtureTest.cpp)
  target_link_libraries(vcard_unit_tests PRIVATE vcard vix_test_support GTest::gtest_main)
  gtest_discover_tests(vcard_unit_tests DISCOVERY_TIMEOUT 60)
endif()
