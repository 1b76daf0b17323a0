# Writes and installs the session bus's service files for the drawing bridge, one per ProgID.
# Runs at install time (or as a script with -P); paths relative to CMAKE_INSTALL_PREFIX.
# Expects KVX_BRIDGE, KVX_SERVICE_DIR and KVX_SERVICE_STAGING.
foreach(_var KVX_BRIDGE KVX_SERVICE_DIR)
  if(IS_ABSOLUTE "${${_var}}")
    set(_${_var} "${${_var}}")
  else()
    set(_${_var} "${CMAKE_INSTALL_PREFIX}/${${_var}}")
  endif()
  cmake_path(NORMAL_PATH _${_var})
endforeach()

# The bus reads Exec as a shell would: the program's path goes in single quotes.
string(REPLACE "'" "'\\''" _kvx_exec "${_KVX_BRIDGE}")

# A ProgID's bus name: "org.stalwen.Automation." + its elements, characters outside
# [A-Za-z0-9_] made "_", "_" before one that starts with a digit (the window's own rule).
foreach(_progid AutoCad.Application.15 AutoCad.Application.16)
  set(_name "org.stalwen.Automation")
  string(REPLACE "." ";" _elements "${_progid}")
  foreach(_element IN LISTS _elements)
    string(REGEX REPLACE "[^A-Za-z0-9_]" "_" _element "${_element}")
    if(_element MATCHES "^[0-9]")
      set(_element "_${_element}")
    endif()
    string(APPEND _name ".${_element}")
  endforeach()
  file(WRITE "${KVX_SERVICE_STAGING}/${_name}.service"
       "[D-BUS Service]\nName=${_name}\nExec='${_kvx_exec}' ${_progid}\n")
  file(INSTALL DESTINATION "${_KVX_SERVICE_DIR}" TYPE FILE
       FILES "${KVX_SERVICE_STAGING}/${_name}.service")
endforeach()
