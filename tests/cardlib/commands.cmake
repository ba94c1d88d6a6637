# Tests of the platform layer, the transport, the card command set and the session
# date conversion. The transport and command tests answer through an in-process fake
# card (transport_fake_card.h) that the link hooks into the platform layer's block
# I/O, clock and sleep; device files live in the build tree, since direct I/O does
# not work on tmpfs.

set(CARDTEST_SCRATCH_DIR ${CMAKE_BINARY_DIR}/tests/cardlib-scratch)
file(MAKE_DIRECTORY ${CARDTEST_SCRATCH_DIR})

function(cardlib_fake_card_test target)
  add_executable(${target} ${ARGN} ${CMAKE_CURRENT_LIST_DIR}/transport_fake_card.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(${target} PRIVATE CARDTEST_SCRATCH_DIR="${CARDTEST_SCRATCH_DIR}")
  target_link_libraries(${target} PRIVATE cardlib GTest::gtest_main)
  target_link_options(${target} PRIVATE
    LINKER:--wrap=writeFile LINKER:--wrap=readFile
    LINKER:--wrap=getWallTime LINKER:--wrap=msleep)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
endfunction()

cardlib_fake_card_test(cardlib_transport_tests ${CMAKE_CURRENT_LIST_DIR}/transport_test.cpp)
cardlib_fake_card_test(cardlib_commands_tests
  ${CMAKE_CURRENT_LIST_DIR}/commands_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commands_decoding_test.cpp)
# The whole session list is read by a unit of the library's own.
target_include_directories(cardlib_commands_tests PRIVATE ${PROJECT_SOURCE_DIR}/cardlib/src)

find_package(Threads REQUIRED)
add_executable(cardlib_dates_tests ${CMAKE_CURRENT_LIST_DIR}/dates_test.cpp)
target_link_libraries(cardlib_dates_tests PRIVATE cardlib GTest::gtest_main Threads::Threads)
gtest_discover_tests(cardlib_dates_tests DISCOVERY_TIMEOUT 60)

# The cross-process card lock is internal to the library; its bounded wait is
# tested directly, since the API waits longer than a test should.
add_executable(cardlib_lock_tests ${CMAKE_CURRENT_LIST_DIR}/card_lock_test.cpp)
target_include_directories(cardlib_lock_tests PRIVATE ${PROJECT_SOURCE_DIR}/cardlib/src)
target_compile_definitions(cardlib_lock_tests PRIVATE CARDTEST_SCRATCH_DIR="${CARDTEST_SCRATCH_DIR}")
target_link_libraries(cardlib_lock_tests PRIVATE cardlib GTest::gtest_main Threads::Threads)
gtest_discover_tests(cardlib_lock_tests DISCOVERY_TIMEOUT 60)
