# The commands of docs/height-rasters.md, run as they stand there on
# generated terrain, with the heights checked sample by sample. They need
# GDAL (gdal-bin, python3-gdal), and Pillow and ImageMagick for two of them;
# without them the tests skip, except in CI.

find_python_with(recipes_python "import osgeo, numpy")
if(recipes_python)
  set(recipes_script ${CMAKE_CURRENT_SOURCE_DIR}/recipes/height_raster_recipes_test.py)
  set(recipes_chapter ${PROJECT_SOURCE_DIR}/docs/height-rasters.md)
  add_test(NAME recipes.every_block_runs
    COMMAND ${recipes_python} ${recipes_script} --list ${recipes_chapter})
  foreach(scenario png16 png8 numpy imagemagick-trap dem)
    add_test(NAME recipes.${scenario}
      COMMAND ${recipes_python} ${recipes_script} ${scenario} ${recipes_chapter}
              ${CMAKE_CURRENT_BINARY_DIR}/recipes
              $<TARGET_FILE:dempaint> $<TARGET_FILE:demscan> $<TARGET_FILE:demtiler>
              ${PROJECT_SOURCE_DIR}/demo/demtiler.dat)
    set_tests_properties(recipes.${scenario} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
else()
  message(STATUS "No python3: the height raster recipe tests are left out")
endif()
