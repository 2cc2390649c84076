# Fault tests: every program against outputs that cannot be written, inputs
# that cannot be read, broken settings and a failing standard output.
if(e2e_tests)
add_executable(faults_e2e_tests e2e/faults_test.cpp)
target_link_libraries(faults_e2e_tests PRIVATE e2e_harness GTest::gtest_main)
target_compile_definitions(faults_e2e_tests PRIVATE
  DEMPAINT_PATH="$<TARGET_FILE:dempaint>"
  DEMSCAN_PATH="$<TARGET_FILE:demscan>"
  DEMJOIN_PATH="$<TARGET_FILE:demjoin>")
add_dependencies(faults_e2e_tests demtiler dempaint demscan demjoin)
gtest_discover_tests(faults_e2e_tests)
endif()

# The fuzz targets' checks over their seed corpus and every saved crasher, on
# each test run, without libFuzzer.
if(ordinary_build)
foreach(target settings tga gnd)
  add_executable(${target}_replay ${PROJECT_SOURCE_DIR}/fuzz/${target}_fuzz.cpp
                                  ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(${target}_replay PRIVATE heightio)
  add_test(NAME fuzz_replay.${target}
           COMMAND ${target}_replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target}
                   ${PROJECT_SOURCE_DIR}/fuzz/crashers ${target}-)
endforeach()
target_link_libraries(tga_replay PRIVATE demscan_reading)
target_link_libraries(gnd_replay PRIVATE demjoin_core)
endif()
