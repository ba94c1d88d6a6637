# Robustness: the fuzz corpora replayed by every build, and the fault-injection
# suite that makes the virtual card misbehave under the API and vaultcli.
set(vix_fuzz_dir ${PROJECT_SOURCE_DIR}/fuzz)
set(vix_cardlib_src ${PROJECT_SOURCE_DIR}/cardlib/src)

# robustness_corpus_<name>: the fuzz target <name> run once on each corpus file.
function(vix_add_corpus_replay name)
  add_executable(robustness_corpus_${name} ${vix_fuzz_dir}/${name}.cpp
                 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/corpus_replay_main.cpp ${ARGN})
  target_include_directories(robustness_corpus_${name} PRIVATE
                             ${PROJECT_SOURCE_DIR}/cardlib/include ${vix_cardlib_src})
  add_test(NAME robustness_corpus_${name}
           COMMAND robustness_corpus_${name} ${vix_fuzz_dir}/corpus/${name})
endfunction()

if(EXISTS ${vix_fuzz_dir}/corpus)
  vix_add_corpus_replay(transport_receive ${vix_cardlib_src}/FileBasedSecurityInterface.cpp)
  vix_add_corpus_replay(command_decoders
    ${vix_cardlib_src}/SfcCardManager.cpp ${vix_cardlib_src}/SfcCardManagerSecurity.cpp
    ${vix_cardlib_src}/SfcCardManagerSessions.cpp ${vix_cardlib_src}/SfcCardManagerProfiles.cpp
    ${vix_cardlib_src}/utcOffsetCorrectionUtil.cpp)
  vix_add_corpus_replay(session_date ${vix_cardlib_src}/utcOffsetCorrectionUtil.cpp)
  if(EXISTS ${PROJECT_SOURCE_DIR}/cli/main.cpp)
    vix_add_corpus_replay(cli_arguments ${CMAKE_CURRENT_LIST_DIR}/vaultcli_main_renamed.cpp
                          ${PROJECT_SOURCE_DIR}/cli/utils.cpp)
    target_include_directories(robustness_corpus_cli_arguments PRIVATE ${PROJECT_SOURCE_DIR}/cli)
    target_link_options(robustness_corpus_cli_arguments PRIVATE -Wl,--wrap=fopen -Wl,--wrap=stat)
  endif()
  if(VIX_BUILD_DESKTOP AND EXISTS ${PROJECT_SOURCE_DIR}/desktop/models/utils.cpp)
    find_package(Qt5 5.15 QUIET COMPONENTS Core Network)
  endif()
  if(TARGET Qt5::Core AND TARGET Qt5::Network)
    vix_add_corpus_replay(mount_table ${PROJECT_SOURCE_DIR}/desktop/models/utils.cpp)
    target_include_directories(robustness_corpus_mount_table PRIVATE
                               ${PROJECT_SOURCE_DIR}/desktop/models)
    target_compile_definitions(robustness_corpus_mount_table PRIVATE
                               VIX_UPDATE_HOST="updates.invalid")
    target_link_libraries(robustness_corpus_mount_table PRIVATE Qt5::Core Qt5::Network)
  endif()
endif()

# Fault injection against the virtual card: needs the card fixture, the fake
# helpers (the card library of this build calls them) and vaultcli.
if(TARGET vix_test_support AND TARGET cardlib AND TARGET vix_fake_helpers AND TARGET vaultcli)
  add_library(robustness_harness STATIC ${CMAKE_CURRENT_LIST_DIR}/FaultHarness.cpp)
  target_include_directories(robustness_harness PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(robustness_harness PUBLIC vix_test_support vix_fake_helpers GTest::gtest)

  foreach(suite api_faults cli_faults removal)
    add_executable(robustness_${suite}_test ${CMAKE_CURRENT_LIST_DIR}/${suite}_test.cpp)
    target_include_directories(robustness_${suite}_test PRIVATE ${vix_cardlib_src})
    target_link_libraries(robustness_${suite}_test PRIVATE robustness_harness cardlib
                          vix_test_support vix_fake_helpers GTest::gtest_main)
    target_compile_definitions(robustness_${suite}_test PRIVATE
                               VAULTCLI_PATH="$<TARGET_FILE:vaultcli>")
    add_dependencies(robustness_${suite}_test vaultcli)
    gtest_discover_tests(robustness_${suite}_test DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED robustness_card)
  endforeach()
  add_test(NAME robustness_card_reachable
           COMMAND robustness_api_faults_test --gtest_filter=CardReachable.*)
  set_tests_properties(robustness_card_reachable PROPERTIES FIXTURES_SETUP robustness_card
                                                            TIMEOUT 120)
endif()
