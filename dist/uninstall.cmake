# Removes the files of one install of Velmora, as listed by its manifest:
#   cmake -D MANIFEST=<prefix>/share/velmora/install_manifest.txt -P dist/uninstall.cmake
# (the build folder's uninstall target passes the build's own manifest). The
# settings and the password in ~/.config/velmora belong to the user and stay.
if(NOT DEFINED MANIFEST OR NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "No install manifest at '${MANIFEST}': nothing to remove. "
    "An install keeps a copy of it in <prefix>/share/velmora/install_manifest.txt.")
endif()
file(STRINGS "${MANIFEST}" _files)
set(_removed 0)
foreach(_file IN LISTS _files)
  if(IS_SYMLINK "${_file}" OR (EXISTS "${_file}" AND NOT IS_DIRECTORY "${_file}"))
    message(STATUS "Removing: ${_file}")
    file(REMOVE "${_file}")
    math(EXPR _removed "${_removed} + 1")
  endif()
  # The program's own data folder goes once empty; folders shared with other
  # programs (bin, share/man, ...) stay.
  get_filename_component(_folder "${_file}" DIRECTORY)
  get_filename_component(_name "${_folder}" NAME)
  if(_name STREQUAL "velmora" AND IS_DIRECTORY "${_folder}")
    file(GLOB _left "${_folder}/*" "${_folder}/.*")
    if(NOT _left)
      file(REMOVE_RECURSE "${_folder}")
    endif()
  endif()
endforeach()
message(STATUS "Removed ${_removed} installed files")
