# Tests of the two host helper programs: partrescan and helpers/mountpoint_manager.
# The loop-device cases need root and a working `losetup`; they skip otherwise.
if(TARGET partrescan)
  add_executable(partrescan_test ${CMAKE_CURRENT_LIST_DIR}/partrescan_test.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/HostTools.cpp)
  target_link_libraries(partrescan_test PRIVATE GTest::gtest_main)
  add_dependencies(partrescan_test partrescan)
  target_compile_definitions(partrescan_test PRIVATE
      PARTRESCAN_PROGRAM="$<TARGET_FILE:partrescan>"
      MOUNT_MANAGER_PROGRAM="${CMAKE_SOURCE_DIR}/helpers/mountpoint_manager")
  gtest_discover_tests(partrescan_test DISCOVERY_TIMEOUT 60)
endif()
