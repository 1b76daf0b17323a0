# Install-time helper: the absolute form of an install folder given relative to the prefix,
# under the prefix actually installed to (cmake --install --prefix ...).
function(kvx_full_install_dir out dir)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  cmake_path(NORMAL_PATH dir)
  string(REGEX REPLACE "(.)/+$" "\\1" dir "${dir}")
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()
