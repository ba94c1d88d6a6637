# The card operation dialogs on a scripted card model (offscreen, no display needed).
if(NOT TARGET vaultdesk_views)
  return()
endif()
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

add_executable(views_operationdialogs_test ${CMAKE_CURRENT_LIST_DIR}/tst_operationdialogs.cpp)
set_target_properties(views_operationdialogs_test PROPERTIES AUTOMOC ON)
target_include_directories(views_operationdialogs_test PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../viewmodels)
target_link_libraries(views_operationdialogs_test PRIVATE vaultdesk_views Qt5::Test)
add_test(NAME views_operationdialogs_test COMMAND views_operationdialogs_test)
set_tests_properties(views_operationdialogs_test PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
