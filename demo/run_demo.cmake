# Runs the tool chain on a generated 1000 x 700 terrain in WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run_step)
  execute_process(COMMAND ${ARGV} WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "demo step failed with status ${status}: ${ARGV}")
  endif()
endfunction()

run_step("${MAKE_TERRAIN}" 1000 700 terrain.raw)

# A neutral template block; real use puts the target application's own
# "demtiler.dat" beside the settings.
file(COPY "${CMAKE_CURRENT_LIST_DIR}/demtiler.dat" DESTINATION "${WORK_DIR}")

# Settings lines end with CR LF, as the programs expect.
file(WRITE "${WORK_DIR}/demtiler.ini" "terrain.raw\r\nterrain.gnd\r\n1000\r\n700\r\n")
message(STATUS "demtiler on terrain.raw (1000 x 700) in ${WORK_DIR}")
run_step("${DEMTILER}")
file(SIZE "${WORK_DIR}/terrain.gnd" archive_size)
message(NOTICE "")
message(STATUS "wrote terrain.gnd, ${archive_size} bytes")
