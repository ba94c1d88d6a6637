# The udev probe as a program, on image files shaped like cards and other disks.
if(TARGET vix-card-probe)
  add_executable(card_probe_test ${CMAKE_CURRENT_LIST_DIR}/probe_test.cpp
                                 ${CMAKE_SOURCE_DIR}/tests/partrescan/HostTools.cpp)
  target_include_directories(card_probe_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/partrescan)
  target_link_libraries(card_probe_test PRIVATE GTest::gtest_main)
  add_dependencies(card_probe_test vix-card-probe)
  target_compile_definitions(card_probe_test PRIVATE
      CARD_PROBE_PROGRAM="$<TARGET_FILE:vix-card-probe>")
  gtest_discover_tests(card_probe_test DISCOVERY_TIMEOUT 60)
endif()
