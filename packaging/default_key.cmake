# Writes and installs the default settings key. Runs at install time, so "path" names the
# tool folder under the prefix actually installed to (cmake --install --prefix ...).
# Expects KVX_TOOL_DIR, KVX_DATADIR, KVX_KEY_TEMPLATE and KVX_KEY_OUTPUT.
foreach(_var KVX_TOOL_DIR KVX_DATADIR)
  if(IS_ABSOLUTE "${${_var}}")
    set(_${_var} "${${_var}}")
  else()
    set(_${_var} "${CMAKE_INSTALL_PREFIX}/${${_var}}")
  endif()
  cmake_path(NORMAL_PATH _${_var})
  string(REGEX REPLACE "(.)/+$" "\\1" _${_var} "${_${_var}}")
endforeach()

# A quoted text of the key file escapes backslashes and double quotes.
string(REPLACE "\\" "\\\\" KVX_TOOL_FOLDER_REG "${_KVX_TOOL_DIR}")
string(REPLACE "\"" "\\\"" KVX_TOOL_FOLDER_REG "${KVX_TOOL_FOLDER_REG}")
configure_file("${KVX_KEY_TEMPLATE}" "${KVX_KEY_OUTPUT}" @ONLY NEWLINE_STYLE CRLF)
file(INSTALL DESTINATION "${_KVX_DATADIR}/korvenix31" TYPE FILE FILES "${KVX_KEY_OUTPUT}")
