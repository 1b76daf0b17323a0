# Rebuilds the MIME database of the prefix installed to, so that our header match counts at once.
# Runs at install time. Expects KVX_DATADIR and KVX_UPDATE_MIME_DATABASE.
include("${CMAKE_CURRENT_LIST_DIR}/install_dirs.cmake")
kvx_full_install_dir(_datadir "${KVX_DATADIR}")
# A staged install (DESTDIR, or CPack's own folder) becomes a package: the system's trigger
# builds the database where it is finally installed.
if("$ENV{DESTDIR}" STREQUAL "" AND NOT _datadir MATCHES "/_CPack_Packages/")
  execute_process(COMMAND "${KVX_UPDATE_MIME_DATABASE}" "${_datadir}/mime"
                  RESULT_VARIABLE _status ERROR_VARIABLE _error)
  if(NOT _status EQUAL 0)
    message(WARNING "update-mime-database ${_datadir}/mime failed: ${_error}")
  endif()
endif()
