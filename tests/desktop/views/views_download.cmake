# The download dialog: offscreen over a scripted card model, and on the virtual card as a disk
# under a real X server (Xvfb), with a picture of every page in the build folder.
if(NOT TARGET vaultdesk_views)
  return()
endif()

add_views_test(views_download_test ${views_test_dir}/download_test.cpp)
target_include_directories(views_download_test PRIVATE ${views_test_dir}/../viewmodels)

if(TARGET vix_test_support AND TARGET vix_disk_helper_paths)
  add_executable(views_download_card_test ${views_test_dir}/download_card_test.cpp)
  set_target_properties(views_download_card_test PROPERTIES AUTOMOC ON)
  target_include_directories(views_download_card_test PRIVATE ${views_test_dir})
  target_link_libraries(views_download_card_test PRIVATE
    vix_disk_helper_paths vaultdesk_views vix_test_support Qt5::Test)
  target_compile_definitions(views_download_card_test PRIVATE
    VIX_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots/download")
  find_program(VIX_XVFB_RUN xvfb-run)
  if(VIX_XVFB_RUN)
    add_test(NAME views_download_card_test
             COMMAND ${VIX_XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                     $<TARGET_FILE:views_download_card_test>)
  else()
    add_test(NAME views_download_card_test COMMAND views_download_card_test)
  endif()
  # Discovery in the other disk tests sends commands to every card it finds.
  set_tests_properties(views_download_card_test PROPERTIES TIMEOUT 600 RESOURCE_LOCK vix_disk)
endif()
