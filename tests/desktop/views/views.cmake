# QtTest suites of the views: the real windows and widgets on the offscreen platform.
if(NOT TARGET vaultdesk_views)
  return()
endif()
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

set(views_test_dir ${CMAKE_CURRENT_LIST_DIR})

# add_views_test(<name> <sources...>): one suite, linked against the views library.
function(add_views_test name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PRIVATE ${views_test_dir})
  target_link_libraries(${name} PRIVATE vaultdesk_views Qt5::Test)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

add_views_test(views_messagebox_test ${views_test_dir}/tst_messagebox.cpp)
