# Tests of the Windows build, run under Wine (Debian's wine64):
# - the unit tests of the layer, as Windows programs, through a launcher that
#   CMAKE_CROSSCOMPILING_EMULATOR names;
# - the end-to-end suite, built for this system in e2e-linux/ and told to run
#   the Windows programs of this build through the same launcher; its tests
#   join this build's test list.

# GoogleTest from its Debian sources (libgtest-dev), built for Windows.
set(googletest_sources /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${googletest_sources} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

find_program(DEMTOOLS_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
find_program(DEMTOOLS_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)

# The launcher runs a Windows program in this build's own Wine prefix, with
# Wine's own diagnostics off so that they cannot mix with the program's. Wine
# keeps a server with background services beside the programs; they would
# hold on to the standard streams of the program that started them (a test's
# pipes would never end, and a service's fault would show on its standard
# error). So the launcher starts them itself, with no streams of the caller's,
# one launch at a time, and keeps them for 30 seconds after the last program,
# so that a test run starts them once.
set(wine_prefix ${CMAKE_BINARY_DIR}/wineprefix)
set(wine_launcher ${CMAKE_BINARY_DIR}/wine-run)
file(CONFIGURE OUTPUT ${wine_launcher} @ONLY CONTENT [[#!/bin/sh
export WINEPREFIX='@wine_prefix@' WINEDEBUG=-all
(
  flock 9
  if '@DEMTOOLS_WINESERVER@' -p30 </dev/null >/dev/null 2>&1 9>&-; then
    '@DEMTOOLS_WINE@' cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>'@wine_prefix@.lock'
exec '@DEMTOOLS_WINE@' "$@"
]])
file(CHMOD ${wine_launcher} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${wine_launcher})

# A fresh prefix takes Wine a while to set up: it is made once per build
# folder, here, rather than by whichever test happens to start first.
if(NOT EXISTS ${wine_prefix}/system.reg)
  message(STATUS "Setting up the Wine prefix in ${wine_prefix}")
  execute_process(COMMAND ${wine_launcher} wineboot --init OUTPUT_QUIET ERROR_QUIET
                  RESULT_VARIABLE wineboot_failed)
  if(wineboot_failed)
    message(FATAL_ERROR "wineboot --init failed in ${wine_prefix}")
  endif()
endif()

# Under Wine a program takes a moment to start.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# A Windows program that holds a file open without sharing it, for the test
# of a file in use by another process.
add_executable(hold_file windows/hold_file.cpp)
target_link_libraries(hold_file PRIVATE project_options)
target_link_options(hold_file PRIVATE -municode)

include(ExternalProject)
ExternalProject_Add(e2e_linux
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/e2e-linux
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DDEMTOOLS_WARNINGS_AS_ERRORS=${DEMTOOLS_WARNINGS_AS_ERRORS}
    -DDEMTOOLS_WINDOWS_PROGRAMS=${CMAKE_BINARY_DIR}
    -DDEMTOOLS_PROGRAM_LAUNCHER=${wine_launcher}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  DEPENDS demtiler dempaint demscan demjoin hold_file)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/e2e_linux_tests.cmake
     "subdirs(\"${CMAKE_BINARY_DIR}/e2e-linux\")\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
             ${CMAKE_CURRENT_BINARY_DIR}/e2e_linux_tests.cmake)

# The ZIP a user downloads, and the DLLs its programs import.
add_test(NAME package.zip
  COMMAND ${CMAKE_COMMAND} -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DSCRATCH=${CMAKE_CURRENT_BINARY_DIR}/package-check -DVERSION=${PROJECT_VERSION}
          -DOBJDUMP=${CMAKE_OBJDUMP} -P ${CMAKE_CURRENT_SOURCE_DIR}/windows_package_check.cmake)
