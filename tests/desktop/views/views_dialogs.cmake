# The card operation dialogs on a scripted card model (offscreen).
if(NOT COMMAND add_views_test)
  return()
endif()
add_views_test(views_operationdialogs_test ${views_test_dir}/operationdialogs_test.cpp
               ${views_test_dir}/UrlRecorder.h)
target_include_directories(views_operationdialogs_test PRIVATE ${views_test_dir}/../viewmodels)

# vaultdesk on a virtual card attached as a disk, under Xvfb (root only; skips otherwise).
if(TARGET vix_test_support AND TARGET vix_disk_helper_paths)
  add_executable(views_desktop_disk_test ${views_test_dir}/desktop_disk_test.cpp
                 ${views_test_dir}/UrlRecorder.h)
  set_target_properties(views_desktop_disk_test PROPERTIES AUTOMOC ON)
  target_include_directories(views_desktop_disk_test PRIVATE ${views_test_dir})
  target_link_libraries(views_desktop_disk_test PRIVATE
    vix_disk_helper_paths vaultdesk_views vix_test_support Qt5::Test)
  target_compile_definitions(views_desktop_disk_test PRIVATE
    VIX_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots/dialogs")
  find_program(VIX_XVFB_RUN xvfb-run)
  if(VIX_XVFB_RUN)
    add_test(NAME views_desktop_disk_test COMMAND ${VIX_XVFB_RUN} -a -s "-screen 0 1280x1024x24"
             $<TARGET_FILE:views_desktop_disk_test>)
  else()
    add_test(NAME views_desktop_disk_test COMMAND views_desktop_disk_test)
  endif()
  set_tests_properties(views_desktop_disk_test PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 900 RUN_SERIAL TRUE LABELS display)
endif()

# Every dialog page in German at scale 2 on a 1280 x 800 screen (Xvfb).
find_program(VIX_XVFB_RUN_LAYOUT xvfb-run)
if(VIX_XVFB_RUN_LAYOUT)
  add_executable(views_layout_test ${views_test_dir}/layout_test.cpp)
  set_target_properties(views_layout_test PROPERTIES AUTOMOC ON)
  target_include_directories(views_layout_test PRIVATE ${views_test_dir}
                             ${views_test_dir}/../viewmodels)
  target_link_libraries(views_layout_test PRIVATE vaultdesk_views Qt5::Test)
  target_compile_definitions(views_layout_test PRIVATE VIX_QM_DIR="${VIX_QM_DIR}")
  add_test(NAME views_layout_test COMMAND ${VIX_XVFB_RUN_LAYOUT} -a -s "-screen 0 1280x800x24"
           $<TARGET_FILE:views_layout_test>)
  set_tests_properties(views_layout_test PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;QT_SCALE_FACTOR=2" TIMEOUT 300 LABELS display)
endif()
