# Debian's hardening flags, as dpkg-buildflags gives them for a package with
# every hardening feature on: fortified library calls, stack protector,
# read-only relocations bound at start. Only the hardening part is taken;
# the build type keeps choosing optimisation and debug information.
# _FORTIFY_SOURCE needs optimisation, so a Debug build goes without it; the
# sanitizer build goes without all of them, as the sanitizers check more.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS AND NOT VELMORA_SANITIZE)
  foreach(_kind CPPFLAGS CXXFLAGS LDFLAGS)
    set(_hardening_${_kind})
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${_kind}
      OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(_flags UNIX_COMMAND "${_flags}")
    # Optimisation, debug information and file-name mapping are not
    # hardening; warnings are chosen in Warnings.cmake.
    list(FILTER _flags EXCLUDE REGEX "^-(g|O.*|ffile-prefix-map=.*|W[^l].*)$")
    list(APPEND _hardening_${_kind} ${_flags})
  endforeach()
  foreach(_flag IN LISTS _hardening_CPPFLAGS _hardening_CXXFLAGS)
    if(_flag MATCHES "^-D_FORTIFY_SOURCE")
      add_compile_options($<$<NOT:$<CONFIG:Debug>>:${_flag}>)
    else()
      add_compile_options(${_flag})
    endif()
  endforeach()
  add_link_options(${_hardening_LDFLAGS})
  message(STATUS "Hardening: ${_hardening_CPPFLAGS};${_hardening_CXXFLAGS};${_hardening_LDFLAGS}")
endif()
