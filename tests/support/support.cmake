# Test support shared by every test folder: the virtual card fixture.
if(TARGET vaultsim)
  add_library(vix_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/VirtualCard.cpp)
  target_include_directories(vix_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(vix_test_support PRIVATE
    VIX_VAULTSIM_PATH="$<TARGET_FILE:vaultsim>")
  add_dependencies(vix_test_support vaultsim)
endif()
