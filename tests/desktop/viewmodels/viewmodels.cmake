# QtTest suites of the view models; they need no display (offscreen platform, Core only).
if(NOT TARGET vaultdesk_viewmodels)
  return()
endif()
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

set(viewmodels_test_dir ${CMAKE_CURRENT_LIST_DIR})

function(add_viewmodels_test name)
  add_executable(${name} ${ARGN} ${viewmodels_test_dir}/ViewModelTestSupport.h)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PRIVATE ${viewmodels_test_dir})
  target_link_libraries(${name} PRIVATE vaultdesk_viewmodels Qt5::Test)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endfunction()

add_viewmodels_test(viewmodels_base_test ${viewmodels_test_dir}/viewmodel_test.cpp)
add_viewmodels_test(viewmodels_operations_test ${viewmodels_test_dir}/operationviewmodels_test.cpp)
add_viewmodels_test(viewmodels_download_test ${viewmodels_test_dir}/downloadviewmodel_test.cpp)
add_viewmodels_test(viewmodels_main_test ${viewmodels_test_dir}/mainviewmodel_test.cpp)

# End-to-end paths over the real card model need the virtual card and the fake host helpers.
if(TARGET vix_test_support AND TARGET vix_fake_helpers)
  add_viewmodels_test(viewmodels_card_test ${viewmodels_test_dir}/cardviewmodels_test.cpp)
  target_link_libraries(viewmodels_card_test PRIVATE vix_test_support vix_fake_helpers)
endif()
