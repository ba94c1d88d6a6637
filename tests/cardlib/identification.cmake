# The identification record's recognition, shared by every program that tells a card
# from another disk, and the names of the API's result codes: bytes and codes only, no
# device.
add_executable(cardlib_identification_tests ${CMAKE_CURRENT_LIST_DIR}/identification_test.cpp)
target_link_libraries(cardlib_identification_tests PRIVATE cardlib GTest::gtest_main)
gtest_discover_tests(cardlib_identification_tests DISCOVERY_TIMEOUT 60)

add_executable(cardlib_result_names_test ${CMAKE_CURRENT_LIST_DIR}/result_names_test.cpp)
target_link_libraries(cardlib_result_names_test PRIVATE cardlib GTest::gtest_main)
gtest_discover_tests(cardlib_result_names_test DISCOVERY_TIMEOUT 60)
