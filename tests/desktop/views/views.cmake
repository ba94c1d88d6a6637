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

add_views_test(views_messagebox_test ${views_test_dir}/messagebox_test.cpp)
add_views_test(views_widgets_test ${views_test_dir}/widgets_test.cpp)
add_views_test(views_verifybackup_test ${views_test_dir}/verifybackup_test.cpp)
add_views_test(views_startup_test ${views_test_dir}/startup_test.cpp)
target_compile_definitions(views_startup_test PRIVATE VIX_QM_DIR="${VIX_QM_DIR}")
add_dependencies(views_startup_test vaultdesk_translations)

# The window on virtual cards attached as disks (root); skips with the reason elsewhere.
if(TARGET vix_test_support)
  add_views_test(views_mainwindow_test ${views_test_dir}/mainwindow_test.cpp)
  target_link_libraries(views_mainwindow_test PRIVATE vix_test_support)
  target_compile_definitions(views_mainwindow_test PRIVATE
      VIX_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
  set_tests_properties(views_mainwindow_test PROPERTIES RUN_SERIAL TRUE)
endif()

# The single-instance guard, started as separate processes.
add_executable(vix_guard_probe ${views_test_dir}/guard_probe.cpp)
target_link_libraries(vix_guard_probe PRIVATE vaultdesk_views)
add_views_test(views_guard_test ${views_test_dir}/guard_test.cpp)
target_compile_definitions(views_guard_test PRIVATE
    VIX_GUARD_PROBE="$<TARGET_FILE:vix_guard_probe>")
add_dependencies(views_guard_test vix_guard_probe)
set_tests_properties(views_guard_test PROPERTIES TIMEOUT 600)

# vaultdesk on Xvfb with a tray-capable window manager; skipped with the reason when the X
# tools are missing.
add_test(NAME views_x_session_test
         COMMAND bash ${views_test_dir}/x_session_test.sh $<TARGET_FILE:vaultdesk>
                 ${CMAKE_BINARY_DIR}/screenshots $<TARGET_FILE:vaultsim>)
# Labelled "display": the sanitizer build leaves it out, since the X keyboard library's own
# string handling trips AddressSanitizer's strict string checks.
set_tests_properties(views_x_session_test PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180
                     LABELS display)
