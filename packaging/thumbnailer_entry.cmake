# Writes and installs the thumbnailer entry. Runs at install time, so TryExec and Exec name the
# program under the prefix actually installed to (cmake --install --prefix ...).
# Expects KVX_BINDIR, KVX_DATADIR, KVX_ENTRY_TEMPLATE and KVX_ENTRY_OUTPUT.
include("${CMAKE_CURRENT_LIST_DIR}/install_dirs.cmake")
kvx_full_install_dir(_bindir "${KVX_BINDIR}")
kvx_full_install_dir(_datadir "${KVX_DATADIR}")
set(_program "${_bindir}/korvenix31-thumbnailer")

# Exec is split into arguments as a shell would: a path with blanks or other special
# characters is double-quoted, with \ " ` $ escaped inside; a literal % is written %%.
set(_arg "${_program}")
if(_arg MATCHES "[^A-Za-z0-9/._+,=@-]")
  foreach(_c "\\" "\"" "`" "\$")
    string(REPLACE "${_c}" "\\${_c}" _arg "${_arg}")
  endforeach()
  set(_arg "\"${_arg}\"")
endif()
string(REPLACE "%" "%%" _arg "${_arg}")
# Both values are key file strings, where a backslash is written twice.
string(REPLACE "\\" "\\\\" KVX_TRYEXEC "${_program}")
string(REPLACE "\\" "\\\\" KVX_EXEC "${_arg}")

configure_file("${KVX_ENTRY_TEMPLATE}" "${KVX_ENTRY_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${_datadir}/thumbnailers" TYPE FILE FILES "${KVX_ENTRY_OUTPUT}")
