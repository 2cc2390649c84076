# Run by cpack before it packs the Windows ZIP, which the windows-test
# workflow does after its tests: lists the cases the test run skipped, each
# with the reason it gave, from the log of that run (CPACK_DEMTOOLS_TEST_LOG).
if(NOT EXISTS "${CPACK_DEMTOOLS_TEST_LOG}")
  return()
endif()
file(READ "${CPACK_DEMTOOLS_TEST_LOG}" log)
set(listed "")
# GoogleTest logs a skip as "file:line: Skipped", the reason, then
# "[  SKIPPED ] Suite.Case (n ms)". The log is walked as text: its brackets
# would keep a CMake list from splitting.
string(FIND "${log}" ": Skipped\n" at)
while(at GREATER -1)
  math(EXPR at "${at} + 10")
  string(SUBSTRING "${log}" ${at} -1 log)
  if(log MATCHES "^([^\n]*)\n\\[  SKIPPED \\] ([^ \n]+)")
    string(APPEND listed "  ${CMAKE_MATCH_2}: ${CMAKE_MATCH_1}\n")
  endif()
  string(FIND "${log}" ": Skipped\n" at)
endwhile()
if(listed)
  message(NOTICE "End-to-end cases skipped under Wine, and why:\n${listed}")
endif()
