# The card operation dialogs on a scripted card model (offscreen).
if(NOT COMMAND add_views_test)
  return()
endif()
add_views_test(views_operationdialogs_test ${views_test_dir}/tst_operationdialogs.cpp)
target_include_directories(views_operationdialogs_test PRIVATE ${views_test_dir}/../viewmodels)
