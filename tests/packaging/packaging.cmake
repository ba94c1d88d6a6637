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
                       PASS_REGULAR_EXPRESSION "test[ \t\n]+folder:[ \t\n]+it[ \t\n]+cannot[ \t\n]+be[ \t\n]+installed")
endif()

add_test(NAME vaultcli_bash_completion
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/completion_test.sh
                 ${CMAKE_SOURCE_DIR}/data/vaultcli.bash-completion)

find_program(VIX_DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(VIX_APPSTREAMCLI appstreamcli)
if(VIX_DESKTOP_FILE_VALIDATE AND VIX_APPSTREAMCLI AND VIX_METAINFO)
  add_test(NAME desktop_entries_validate COMMAND ${VIX_DESKTOP_FILE_VALIDATE} ${VIX_DESKTOP_ENTRIES})
  set_tests_properties(desktop_entries_validate PROPERTIES FAIL_REGULAR_EXPRESSION "error|warning")
  add_test(NAME metainfo_validate COMMAND ${VIX_APPSTREAMCLI} validate --no-net ${VIX_METAINFO})
endif()
