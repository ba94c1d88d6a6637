# After models.cmake, whose function it uses: the device model layer on a virtual
# card attached as a disk, with the real helper programs (root only; skips otherwise).
if(TARGET vaultdesk_models AND TARGET vix_test_support AND TARGET vix_disk_helper_paths)
  vix_models_test(models_disk_test disk_test.cpp vix_disk_helper_paths vix_test_support)
  set_tests_properties(models_disk_test PROPERTIES RESOURCE_LOCK vix_disk)
endif()
