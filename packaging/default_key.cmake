# Writes and installs the default settings key. Runs at install time, so "path" names the
# tool folder under the prefix actually installed to (cmake --install --prefix ...).
# Expects KVX_TOOL_DIR, KVX_DATADIR, KVX_KEY_TEMPLATE and KVX_KEY_OUTPUT.
include("${CMAKE_CURRENT_LIST_DIR}/install_dirs.cmake")
kvx_full_install_dir(_KVX_TOOL_DIR "${KVX_TOOL_DIR}")
kvx_full_install_dir(_KVX_DATADIR "${KVX_DATADIR}")

# A quoted text of the key file escapes backslashes and double quotes.
string(REPLACE "\\" "\\\\" KVX_TOOL_FOLDER_REG "${_KVX_TOOL_DIR}")
string(REPLACE "\"" "\\\"" KVX_TOOL_FOLDER_REG "${KVX_TOOL_FOLDER_REG}")
configure_file("${KVX_KEY_TEMPLATE}" "${KVX_KEY_OUTPUT}" @ONLY NEWLINE_STYLE CRLF)
file(INSTALL DESTINATION "${_KVX_DATADIR}/korvenix31" TYPE FILE FILES "${KVX_KEY_OUTPUT}")
