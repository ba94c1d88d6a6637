# The size of what a card presents through the host's mount: the mount table looked up by
# device number, file sizes counted in whole sectors.
if(TARGET cardlib)
  add_executable(cardlib_mounted_content_test ${CMAKE_CURRENT_LIST_DIR}/mounted_content_test.cpp)
  target_link_libraries(cardlib_mounted_content_test PRIVATE cardlib GTest::gtest_main)
  gtest_discover_tests(cardlib_mounted_content_test DISCOVERY_TIMEOUT 60)
endif()
