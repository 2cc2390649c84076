# Runs the whole tool chain on a generated 1000 x 700 terrain in WORK_DIR:
# raster -> dempaint -> image -> demscan -> raster -> demtiler -> archive.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run_step)
  execute_process(COMMAND ${ARGV} WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "demo step failed with status ${status}: ${ARGV}")
  endif()
endfunction()

# Settings lines end with CR LF, as the programs expect.
function(write_settings name)
  list(JOIN ARGN "\r\n" text)
  file(WRITE "${WORK_DIR}/${name}" "${text}\r\n")
endfunction()

message(STATUS "make_terrain: terrain.raw, 1000 x 700 samples, in ${WORK_DIR}")
run_step("${MAKE_TERRAIN}" 1000 700 terrain.raw)

message(STATUS "dempaint: terrain.raw -> terrain.tga (progress in dempaint.log)")
write_settings(dempaint.ini terrain.raw terrain.tga 1000 700)
run_step("${DEMPAINT}" OUTPUT_FILE "${WORK_DIR}/dempaint.log")

message(STATUS "demscan: terrain.tga -> back.raw (progress in demscan.log)")
write_settings(demscan.ini terrain.tga back.raw 0)
run_step("${DEMSCAN}" OUTPUT_FILE "${WORK_DIR}/demscan.log")

# The generated heights are whole numbers from 0 to 65279, so the round trip
# through the image must give back every sample exactly.
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/terrain.raw"
                        "${WORK_DIR}/back.raw" RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the round trip through terrain.tga changed the raster")
endif()
message(STATUS "round trip restored all 700000 samples")

# A neutral template block; real use puts the target application's own
# "demtiler.dat" beside the settings.
file(COPY "${CMAKE_CURRENT_LIST_DIR}/demtiler.dat" DESTINATION "${WORK_DIR}")
message(STATUS "demtiler: back.raw -> terrain.gnd")
write_settings(demtiler.ini back.raw terrain.gnd 1000 700)
run_step("${DEMTILER}")
file(SIZE "${WORK_DIR}/terrain.gnd" archive_size)
message(NOTICE "")
message(STATUS "wrote terrain.gnd, ${archive_size} bytes")
