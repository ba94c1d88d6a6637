# The identification record's recognition, shared by every program that tells a card
# from another disk.
add_executable(cardlib_identification_tests ${CMAKE_CURRENT_LIST_DIR}/identification_test.cpp)
target_link_libraries(cardlib_identification_tests PRIVATE cardlib_identification GTest::gtest_main)
gtest_discover_tests(cardlib_identification_tests DISCOVERY_TIMEOUT 60)
