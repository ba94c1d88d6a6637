# What the package installs: manual pages that match the programs, and a test build
# that refuses to be installed.
foreach(program vaultcli vaultsim)
  if(TARGET ${program})
    add_test(NAME man_page_${program}
             COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/man_page_test.sh $<TARGET_FILE:${program}>
                        ${CMAKE_SOURCE_DIR}/man/${program}.1)
  endif()
endforeach()

if(vix_helpers_in_source OR vix_helpers_in_build)
  add_test(NAME install_refuses_test_build
           COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR}
                   --prefix ${CMAKE_CURRENT_BINARY_DIR}/refused-install)
  set_tests_properties(install_refuses_test_build PROPERTIES
                       PASS_REGULAR_EXPRESSION "a test folder: it cannot be installed")
endif()
