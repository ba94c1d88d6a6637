# One version source: project()'s VERSION, carried to the code by one generated header,
# vix_version.h, that every folder sees. debian/changelog must name the same version.

# The programs' own version text; it names the build they shipped as.
set(VIX_PROGRAM_VERSION_TEXT "v1.2.0-g6cce2fd")

configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/vix_version.h
               @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)

# vix_check_changelog_version(<changelog> <version>): fails when the newest entry of the
# Debian changelog names another upstream version (epoch and Debian revision aside).
function(vix_check_changelog_version changelog version)
  file(STRINGS ${changelog} top LIMIT_COUNT 1)
  if(NOT top MATCHES "^[^ ]+ \\(([0-9]+:)?([^)-]+)(-[^)]*)?\\)")
    message(FATAL_ERROR "${changelog}: no version in its first line \"${top}\"")
  endif()
  if(NOT CMAKE_MATCH_2 STREQUAL version)
    message(FATAL_ERROR "${changelog} names version ${CMAKE_MATCH_2}, project() ${version}: "
                        "make them agree")
  endif()
endfunction()

if(EXISTS ${PROJECT_SOURCE_DIR}/debian/changelog)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                                                               ${PROJECT_SOURCE_DIR}/debian/changelog)
  vix_check_changelog_version(${PROJECT_SOURCE_DIR}/debian/changelog ${PROJECT_VERSION})
endif()
