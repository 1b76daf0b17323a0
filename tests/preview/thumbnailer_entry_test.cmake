# Installs the build into a fresh prefix with a blank, quotes and a percent sign in its name
# and checks that the thumbnailer entry names the program installed there, quoted for Exec.
# Expects BUILD_DIR and WORK_DIR (a plain path, emptied first).
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/pre fix \"1\" 100%")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install failed:\n${log}")
endif()

file(READ "${prefix}/share/thumbnailers/korvenix31.thumbnailer" entry)
string(CONCAT expected
  "[Thumbnailer Entry]\n"
  "TryExec=${prefix}/bin/korvenix31-thumbnailer\n"
  "Exec=\"${WORK_DIR}/pre fix \\\\\"1\\\\\" 100%%/bin/korvenix31-thumbnailer\" -s %s %i %o\n"
  "MimeType=image/vnd.dwg;\n")
if(NOT entry STREQUAL expected)
  message(FATAL_ERROR "the entry reads\n${entry}instead of\n${expected}")
endif()
if(NOT EXISTS "${prefix}/bin/korvenix31-thumbnailer")
  message(FATAL_ERROR "TryExec names no installed program")
endif()
