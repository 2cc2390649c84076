# What users meet: the failure in plain words, --help and --version, the
# installed layout, and the height image in the tools people retouch it with.

if(unit_tests)
add_unit_tests(diagnostic_unit_tests unit/diagnostic_test.cpp unit/warnings_test.cpp)
target_link_libraries(diagnostic_unit_tests PRIVATE heightio)
endif()

if(e2e_tests)
add_executable(users_e2e_tests e2e/users_test.cpp e2e/terminal_run.cpp)
target_link_libraries(users_e2e_tests PRIVATE e2e_harness GTest::gtest_main util)
target_compile_definitions(users_e2e_tests PRIVATE
  DEMPAINT_PATH="$<TARGET_FILE:dempaint>"
  DEMSCAN_PATH="$<TARGET_FILE:demscan>"
  DEMJOIN_PATH="$<TARGET_FILE:demjoin>"
  DEMTOOLS_VERSION="${PROJECT_VERSION}")
add_dependencies(users_e2e_tests demtiler dempaint demscan demjoin)
gtest_discover_tests(users_e2e_tests)

# The warnings, each on a terminal, asked for by the variable, and left out.
add_executable(warnings_e2e_tests e2e/warnings_test.cpp e2e/terminal_run.cpp)
target_link_libraries(warnings_e2e_tests PRIVATE e2e_harness GTest::gtest_main util)
target_compile_definitions(warnings_e2e_tests PRIVATE
  DEMPAINT_PATH="$<TARGET_FILE:dempaint>"
  DEMSCAN_PATH="$<TARGET_FILE:demscan>")
add_dependencies(warnings_e2e_tests demtiler dempaint demscan)
gtest_discover_tests(warnings_e2e_tests)
endif()

if(NOT ordinary_build)
  return()
endif()

# The install into a scratch prefix, then the installed dempaint's --help.
add_test(NAME install.layout
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DPREFIX=${CMAKE_CURRENT_BINARY_DIR}/install-check
          -P ${CMAKE_CURRENT_SOURCE_DIR}/e2e/install_check.cmake)

find_python_with(interop_python "import PIL")
if(interop_python)
  foreach(tool imagemagick pillow)
    add_test(NAME interop.${tool}
      COMMAND ${interop_python} ${CMAKE_CURRENT_SOURCE_DIR}/interop/image_editors_test.py
              ${tool} $<TARGET_FILE:dempaint> $<TARGET_FILE:demscan>)
    set_tests_properties(interop.${tool} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
  # Soft red edges from ImageMagick, and real elevation models (numpy).
  find_python_with(soft_edges_python "import numpy")
  add_test(NAME interop.soft_edges
    COMMAND ${soft_edges_python} ${CMAKE_CURRENT_SOURCE_DIR}/interop/soft_edges_test.py
            $<TARGET_FILE:make_terrain> $<TARGET_FILE:dempaint> $<TARGET_FILE:demscan>)
  set_tests_properties(interop.soft_edges PROPERTIES SKIP_RETURN_CODE 77)
else()
  message(STATUS "No python3: the image editor tests are left out")
endif()

# The surveys behind the warnings, and the README's and the guide's encoding
# tables against the encoding itself.
add_executable(checks_unit_tests unit/surveys_test.cpp unit/encoding_docs_test.cpp
               ${PROJECT_SOURCE_DIR}/dempaint/pixel_encoding.cpp
               ${PROJECT_SOURCE_DIR}/dempaint/height_survey.cpp
               ${PROJECT_SOURCE_DIR}/dempaint/unpaintable_sample.cpp)
target_include_directories(checks_unit_tests PRIVATE ${PROJECT_SOURCE_DIR}/dempaint)
target_link_libraries(checks_unit_tests PRIVATE demscan_reading GTest::gtest_main)
target_compile_definitions(checks_unit_tests PRIVATE
  README_PATH="${PROJECT_SOURCE_DIR}/README.md"
  GUIDE_PATH="${PROJECT_SOURCE_DIR}/docs/user-guide.md")
gtest_discover_tests(checks_unit_tests)
