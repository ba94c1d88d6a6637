# Tests of the card management API and its host follow-ups. They run against
# the fake helper programs (fakehelpers.cmake) and, for the API, the virtual card.
include(${CMAKE_CURRENT_LIST_DIR}/fakehelpers.cmake)

if(VIX_FAKE_HELPERS_READY AND TARGET cardlib)
  # Library variants whose helper folder is incomplete, for the configuration check.
  vix_add_cardlib(cardlib_no_partrescan "${VIX_FAKE_HELPERS_NO_PARTRESCAN}")
  vix_add_cardlib(cardlib_no_mount_manager "${VIX_FAKE_HELPERS_NO_MOUNT_MANAGER}")
  vix_add_cardlib(cardlib_helper_not_executable "${VIX_FAKE_HELPERS_NOT_EXECUTABLE}")

  add_executable(cardlib_disk_test ${CMAKE_CURRENT_LIST_DIR}/disk_test.cpp)
  target_link_libraries(cardlib_disk_test PRIVATE cardlib vix_fake_helpers GTest::gtest_main)
  gtest_discover_tests(cardlib_disk_test DISCOVERY_TIMEOUT 60)

  add_executable(cardlib_disk_not_executable_test
                 ${CMAKE_CURRENT_LIST_DIR}/disk_not_executable_test.cpp)
  target_link_libraries(cardlib_disk_not_executable_test
                        PRIVATE cardlib_helper_not_executable vix_fake_helpers GTest::gtest_main)
  gtest_discover_tests(cardlib_disk_not_executable_test DISCOVERY_TIMEOUT 60)
endif()

if(VIX_FAKE_HELPERS_READY AND TARGET cardlib AND TARGET vix_test_support)
  add_executable(cardlib_api_test ${CMAKE_CURRENT_LIST_DIR}/api_test.cpp)
  target_link_libraries(cardlib_api_test PRIVATE cardlib vix_test_support vix_fake_helpers
                                                 GTest::gtest_main)
  gtest_discover_tests(cardlib_api_test DISCOVERY_TIMEOUT 60)

  foreach(variant no_partrescan no_mount_manager)
    add_executable(cardlib_api_${variant}_test ${CMAKE_CURRENT_LIST_DIR}/api_configuration_test.cpp)
    target_link_libraries(cardlib_api_${variant}_test PRIVATE cardlib_${variant} vix_test_support
                                                            vix_fake_helpers GTest::gtest_main)
    gtest_discover_tests(cardlib_api_${variant}_test TEST_SUFFIX ".${variant}"
                         DISCOVERY_TIMEOUT 60)
  endforeach()
endif()
