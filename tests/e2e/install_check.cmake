# Installs the build into PREFIX and checks the layout a user gets: the
# programs in bin/, the README, the changelog and the licences in
# share/doc/demtools/ and the user guide in its docs/ with links that hold,
# the neutral template in share/demtools/, and an installed program that
# answers.
include(${CMAKE_CURRENT_LIST_DIR}/../doc_links.cmake)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()

foreach(file bin/demtiler bin/dempaint bin/demscan bin/demjoin share/doc/demtools/README.md
             share/doc/demtools/CHANGELOG.md share/doc/demtools/LICENSE
             share/doc/demtools/LICENSE-xxhash
             share/doc/demtools/docs/user-guide.md share/doc/demtools/docs/height-rasters.md
             share/demtools/demtiler.dat)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "missing after install: ${file}")
  endif()
endforeach()
check_doc_links("${PREFIX}/share/doc/demtools")
file(SIZE "${PREFIX}/share/demtools/demtiler.dat" template_size)
if(NOT template_size EQUAL 3800)
  message(FATAL_ERROR "share/demtools/demtiler.dat holds ${template_size} bytes, not 3800")
endif()

execute_process(COMMAND "${PREFIX}/bin/dempaint" --help WORKING_DIRECTORY "${PREFIX}"
                OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT help MATCHES "^Usage: dempaint")
  message(FATAL_ERROR "installed dempaint --help: status ${status}, output:\n${help}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
