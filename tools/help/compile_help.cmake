# cmake -DHHC=<hhc.exe> -DPAGE=<index.htm> -P compile_help.cmake: compiles the help pages. Our
# own pages have every link whole, so a warning (a link left out) fails the build as well.
execute_process(COMMAND ${HHC} ${PAGE} RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0 OR NOT _err STREQUAL "")
  message(FATAL_ERROR "hhc.exe on the help pages: ${_err}")
endif()
