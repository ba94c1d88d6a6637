# Test support shared by every test folder: the virtual card fixture.
if(TARGET vaultsim)
  add_library(vix_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/VirtualCard.cpp)
  target_include_directories(vix_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(vix_test_support PRIVATE
    VIX_VAULTSIM_PATH="$<TARGET_FILE:vaultsim>")
  add_dependencies(vix_test_support vaultsim)
endif()

# Disk-mode tests run the shipped helpers, not the fakes: the real partrescan and
# mountpoint_manager in a folder of the build tree. Linking `vix_disk_helper_paths`
# into a program that uses the card library makes the library run them: its
# objects come before the library's own helper paths. `vaultcli_disk` is vaultcli
# built that way.
set(VIX_DISK_HELPER_DIR ${CMAKE_BINARY_DIR}/disk-helpers)
if(TARGET partrescan AND TARGET vaultcli_utils AND TARGET cardlib)
  add_custom_target(vix_disk_helpers ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VIX_DISK_HELPER_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:partrescan>
            ${PROJECT_SOURCE_DIR}/helpers/mountpoint_manager ${VIX_DISK_HELPER_DIR}
    DEPENDS partrescan ${PROJECT_SOURCE_DIR}/helpers/mountpoint_manager
    COMMENT "Real helper programs for the disk-mode tests")
  add_library(vix_disk_helper_paths OBJECT ${PROJECT_SOURCE_DIR}/cardlib/src/DiskUtilities.cpp)
  target_include_directories(vix_disk_helper_paths PRIVATE ${PROJECT_SOURCE_DIR}/cardlib/include
                                                           ${PROJECT_SOURCE_DIR}/cardlib/src)
  target_compile_definitions(vix_disk_helper_paths PRIVATE
                             VIX_HELPER_DIR="${VIX_DISK_HELPER_DIR}")
  add_dependencies(vix_disk_helper_paths vix_disk_helpers)
  add_executable(vaultcli_disk ${PROJECT_SOURCE_DIR}/cli/main.cpp)
  target_link_libraries(vaultcli_disk PRIVATE vix_disk_helper_paths vaultcli_utils cardlib)
endif()
