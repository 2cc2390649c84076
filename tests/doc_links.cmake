# Fails unless every relative link of the Markdown files below FOLDER names a
# file that is there, as a reader of the installed docs or the ZIP follows it.
function(check_doc_links folder)
  file(GLOB_RECURSE documents "${folder}/*.md")
  foreach(document IN LISTS documents)
    file(READ "${document}" text)
    string(REGEX MATCHALL "\\]\\([^]()#:; \n]+[)#]" links "${text}")
    string(REPLACE "](" "" links "${links}")  # a bracket would keep the list whole
    get_filename_component(beside "${document}" DIRECTORY)
    foreach(link IN LISTS links)
      string(REGEX REPLACE "[)#]$" "" target "${link}")
      if(NOT EXISTS "${beside}/${target}")
        message(FATAL_ERROR "${document} links to ${target}, which is not there")
      endif()
    endforeach()
  endforeach()
endfunction()
