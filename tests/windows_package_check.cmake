cmake_minimum_required(VERSION 3.25)
# Builds the Windows ZIP into SCRATCH and checks what a user unpacks: one
# folder holding the four programs, the template beside them, the README,
# the changelog, the licences, and the user guide with its chapter in docs/,
# with links that hold; and programs that need no DLL beyond the system's.
include(${CMAKE_CURRENT_LIST_DIR}/doc_links.cmake)
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${CPACK}" -G ZIP -B "${SCRATCH}" --config "${BUILD_DIR}/CPackConfig.cmake"
                OUTPUT_QUIET RESULT_VARIABLE failed)
set(zip "${SCRATCH}/demtools-${VERSION}-win64.zip")
if(failed OR NOT EXISTS "${zip}")
  message(FATAL_ERROR "cpack -G ZIP gave no ${zip}")
endif()
file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${SCRATCH}/unpacked")
file(GLOB_RECURSE unpacked RELATIVE "${SCRATCH}/unpacked" "${SCRATCH}/unpacked/*")
list(SORT unpacked)
set(expected CHANGELOG.md LICENSE LICENSE-xxhash README.md demjoin.exe demscan.exe dempaint.exe
             demtiler.dat demtiler.exe docs/height-rasters.md docs/user-guide.md)
list(TRANSFORM expected PREPEND "demtools-${VERSION}-win64/")
list(SORT expected)
if(NOT unpacked STREQUAL expected)
  message(FATAL_ERROR "the ZIP holds\n  ${unpacked}\nnot\n  ${expected}")
endif()
set(folder "${SCRATCH}/unpacked/demtools-${VERSION}-win64")
check_doc_links("${folder}")
file(SIZE "${folder}/demtiler.dat" template_size)
if(NOT template_size EQUAL 3800)
  message(FATAL_ERROR "demtiler.dat holds ${template_size} bytes, not 3800")
endif()

# Only DLLs that every Windows has.
set(system_dlls KERNEL32.dll msvcrt.dll)
foreach(program demtiler dempaint demscan demjoin)
  execute_process(COMMAND "${OBJDUMP}" -p "${folder}/${program}.exe" OUTPUT_VARIABLE headers
                  RESULT_VARIABLE failed)
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
  list(TRANSFORM imports REPLACE "DLL Name: " "")
  if(failed OR NOT imports)
    message(FATAL_ERROR "${program}.exe: no import table read")
  endif()
  foreach(dll IN LISTS imports)
    if(NOT dll IN_LIST system_dlls)
      message(FATAL_ERROR "${program}.exe needs ${dll}, which Windows does not bring")
    endif()
  endforeach()
  message(STATUS "${program}.exe imports ${imports}")
endforeach()
file(REMOVE_RECURSE "${SCRATCH}")
