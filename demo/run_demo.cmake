# Runs the whole tool chain on a generated 1000 x 700 terrain in WORK_DIR:
# raster -> dempaint -> image -> demscan -> raster -> demtiler -> archive,
# then the archive -> demjoin -> raster again.
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

# Ends the demo with `complaint` unless the two files hold the same bytes.
function(expect_same_files a b complaint)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/${a}" "${WORK_DIR}/${b}"
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${complaint}")
  endif()
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
expect_same_files(terrain.raw back.raw "the round trip through terrain.tga changed the raster")
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

# The whole road back: the archive read into a raster again. The tiles cover
# columns 0 to 939 and rows 0 to 651 (13 x 9 tiles); each sample there comes
# back as it was, every other one as 0.0, and the raster tiles into the same
# archive.
message(STATUS "demjoin: terrain.gnd -> joined.raw (progress in demjoin.log)")
write_settings(demjoin.ini terrain.gnd joined.raw 1000 700)
run_step("${DEMJOIN}" OUTPUT_FILE "${WORK_DIR}/demjoin.log")
set(row_bytes 4000)
set(tiled_bytes 3760)
string(REPEAT "0" 480 empty_tail)
string(REPEAT "0" 8000 empty_row)
foreach(row RANGE 699)
  math(EXPR at "${row} * ${row_bytes}")
  file(READ "${WORK_DIR}/joined.raw" joined OFFSET ${at} LIMIT ${row_bytes} HEX)
  if(row LESS 652)
    file(READ "${WORK_DIR}/terrain.raw" terrain OFFSET ${at} LIMIT ${tiled_bytes} HEX)
    string(SUBSTRING "${joined}" 0 7520 joined_tiled)
    string(SUBSTRING "${joined}" 7520 -1 joined)
    if(NOT joined_tiled STREQUAL terrain)
      message(FATAL_ERROR "joined.raw differs from the terrain in row ${row}")
    endif()
  endif()
  if(NOT joined STREQUAL empty_tail AND NOT joined STREQUAL empty_row)
    message(FATAL_ERROR "joined.raw holds heights outside the tiles in row ${row}")
  endif()
endforeach()
write_settings(demtiler.ini joined.raw again.gnd 1000 700)
run_step("${DEMTILER}" OUTPUT_FILE "${WORK_DIR}/again.log")
expect_same_files(terrain.gnd again.gnd "joined.raw does not tile into the same archive")
message(STATUS "joined.raw holds the tiled part of the terrain, and tiles into the same archive")
