# Fake helper programs for the tests: `mountpoint_manager`, `partrescan` and
# `udevadm`, written at configure time into VIX_HELPER_DIR (the test build points
# it at <build>/test-helpers). Tests put VIX_HELPER_DIR first on PATH so that the
# card library's "udevadm settle" runs the fake as well.
#
# By default every fake exits 0. Environment variables read by the fakes:
#   VIX_FAKE_LOG=<file>       append one line "<program name> <arguments>" per call
#                             (arguments joined by single spaces)
#   VIX_FAKE_ARGV_LOG=<file>  append one line per call with every argument in
#                             brackets, "<program name> [arg1] [arg2]", so that a
#                             test can tell one argument with a space from two
#   VIX_FAKE_FAIL_SETTLE      which calls fail: "udevadm settle"
#   VIX_FAKE_FAIL_UNMOUNT                       "mountpoint_manager unmount ..."
#   VIX_FAKE_FAIL_REMOUNT                       "mountpoint_manager remount ..."
#   VIX_FAKE_FAIL_PARTRESCAN                    "partrescan ..."
#       value: "all", or a comma-separated list of call numbers and ranges,
#       counted per kind of call from 1, e.g. "1-3" (the first three), "2"
#       (only the second), "1,3". Call numbers are counted in VIX_FAKE_LOG, so
#       anything but "all" needs VIX_FAKE_LOG.
#   VIX_FAKE_FAIL_HOW         "exit" (default): a failing call exits with
#                             VIX_FAKE_EXIT_STATUS (default 1); "signal": it
#                             kills itself with SIGKILL
#
# Tests in C++ link `vix_fake_helpers` (fakehelpers.h): it sets these variables
# for the test process, puts the fakes first on PATH and reads the logs back.
#
# Besides the complete folder, two incomplete ones are written for the
# configuration check: ${VIX_FAKE_HELPERS_NO_PARTRESCAN} (no partrescan) and
# ${VIX_FAKE_HELPERS_NO_MOUNT_MANAGER} (no mountpoint_manager), and one whose
# mount helper exists but cannot be started: ${VIX_FAKE_HELPERS_NOT_EXECUTABLE}.

include_guard(GLOBAL)

set(VIX_FAKE_HELPERS_NO_PARTRESCAN ${CMAKE_BINARY_DIR}/test-helpers-no-partrescan)
set(VIX_FAKE_HELPERS_NO_MOUNT_MANAGER ${CMAKE_BINARY_DIR}/test-helpers-no-mount-manager)
set(VIX_FAKE_HELPERS_NOT_EXECUTABLE ${CMAKE_BINARY_DIR}/test-helpers-not-executable)

set(vix_fake_helper_script [=[#!/bin/sh
# Test stand-in for a helper program: records the call, fails on request.
name=${0##*/}
case "$name" in
udevadm) key=SETTLE; prefix="udevadm settle" ;;
partrescan) key=PARTRESCAN; prefix="partrescan " ;;
*)
    case "$1" in
    unmount) key=UNMOUNT ;;
    remount) key=REMOUNT ;;
    *) key=OTHER ;;
    esac
    prefix="$name $1 "
    ;;
esac

if [ -n "$VIX_FAKE_LOG" ]; then
    printf '%s %s\n' "$name" "$*" >>"$VIX_FAKE_LOG"
fi
if [ -n "$VIX_FAKE_ARGV_LOG" ]; then
    line=$name
    for arg in "$@"; do
        line="$line [$arg]"
    done
    printf '%s\n' "$line" >>"$VIX_FAKE_ARGV_LOG"
fi

selected() {
    [ "$1" = all ] && return 0
    [ -n "$1" ] || return 1
    saved_ifs=$IFS
    IFS=,
    set -- "$2" $1
    IFS=$saved_ifs
    number=$1
    shift
    for item in "$@"; do
        case "$item" in
        *-*) [ "$number" -ge "${item%-*}" ] && [ "$number" -le "${item#*-}" ] && return 0 ;;
        *) [ "$number" -eq "$item" ] && return 0 ;;
        esac
    done
    return 1
}

eval "failures=\${VIX_FAKE_FAIL_$key-}"
[ -n "$failures" ] || exit 0
count=1
if [ -n "$VIX_FAKE_LOG" ]; then
    count=$(awk -v p="$prefix" 'index($0, p) == 1 { n++ } END { print n + 0 }' "$VIX_FAKE_LOG")
fi
selected "$failures" "$count" || exit 0
if [ "${VIX_FAKE_FAIL_HOW-exit}" = signal ]; then
    kill -KILL $$
fi
exit "${VIX_FAKE_EXIT_STATUS-1}"
]=])

function(vix_write_fake_helpers folder)
  file(MAKE_DIRECTORY ${folder})
  foreach(program IN LISTS ARGN)
    file(WRITE ${folder}/${program} "${vix_fake_helper_script}")
    file(CHMOD ${folder}/${program} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
endfunction()

# Never overwrite real helpers: fakes go only into a folder of this build tree.
cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${VIX_HELPER_DIR}" NORMALIZE vix_helper_dir_in_build)
if(vix_helper_dir_in_build)
  set(VIX_FAKE_HELPERS_READY TRUE)
  vix_write_fake_helpers(${VIX_HELPER_DIR} mountpoint_manager partrescan udevadm)
  vix_write_fake_helpers(${VIX_FAKE_HELPERS_NO_PARTRESCAN} mountpoint_manager udevadm)
  vix_write_fake_helpers(${VIX_FAKE_HELPERS_NO_MOUNT_MANAGER} partrescan udevadm)
  vix_write_fake_helpers(${VIX_FAKE_HELPERS_NOT_EXECUTABLE} partrescan udevadm)
  file(WRITE ${VIX_FAKE_HELPERS_NOT_EXECUTABLE}/mountpoint_manager "${vix_fake_helper_script}")
  file(CHMOD ${VIX_FAKE_HELPERS_NOT_EXECUTABLE}/mountpoint_manager
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
else()
  set(VIX_FAKE_HELPERS_READY FALSE)
  message(STATUS "VIX_HELPER_DIR (${VIX_HELPER_DIR}) lies outside the build tree: "
                 "no fake helpers written, tests that need them are not built")
endif()

if(VIX_FAKE_HELPERS_READY)
  add_library(vix_fake_helpers STATIC ${CMAKE_CURRENT_LIST_DIR}/fakehelpers.cpp)
  target_include_directories(vix_fake_helpers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(vix_fake_helpers PUBLIC VIX_TEST_HELPER_DIR="${VIX_HELPER_DIR}")
endif()
