# Tests of the desktop device model layer (QtTest; no display needed).
if(TARGET vaultdesk_models)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

  function(vix_models_test name source)
    add_executable(${name} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE vaultdesk_models Qt5::Test ${ARGN})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  endfunction()

  vix_models_test(models_utils_test utils_test.cpp)
  target_compile_definitions(models_utils_test PRIVATE VIX_UPDATE_HOST="${VIX_UPDATE_HOST}")
  vix_models_test(models_discovery_test discovery_test.cpp)
  vix_models_test(models_download_test download_test.cpp)
  vix_models_test(models_download_faults_test download_faults_test.cpp)
  # Backups killed at random points; the backup itself runs through the download view model.
  if(TARGET vaultdesk_viewmodels)
    add_executable(download_kill_child ${CMAKE_CURRENT_LIST_DIR}/download_kill_child.cpp)
    target_link_libraries(download_kill_child PRIVATE vaultdesk_viewmodels)
    vix_models_test(models_download_kill_test download_kill_test.cpp)
    add_dependencies(models_download_kill_test download_kill_child)
    # 200 killed runs and their reruns take a few minutes on a busy machine, longer than
    # QtTest's own limit of 5 minutes per test function.
    set_tests_properties(models_download_kill_test PROPERTIES TIMEOUT 900
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=900000")
  endif()
endif()

# The card model against the virtual card, with the fake mount tools first on PATH.
if(TARGET vaultdesk_models AND TARGET vix_test_support AND TARGET vix_fake_helpers)
  vix_models_test(models_devicemodel_test devicemodel_test.cpp vix_test_support vix_fake_helpers)
endif()
