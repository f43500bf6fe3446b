# velmora_layer(name [QT] DEPENDS lower layers...): the library of one layer
# folder, made of the .cpp files directly in it. Files under its qt/ folder
# make a second library, <name>_qt, for layers whose core is Qt-free.
function(velmora_layer name)
  cmake_parse_arguments(L "" "" "DEPENDS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(velmora_${name} STATIC ${_sources})
  target_include_directories(velmora_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(velmora_${name} PUBLIC VELMORA_VERSION="${PROJECT_VERSION}")
  foreach(_dep IN LISTS L_DEPENDS)
    target_link_libraries(velmora_${name} PUBLIC velmora_${_dep})
  endforeach()
  velmora_warnings(velmora_${name})
endfunction()

# Fails the configure step when the target links Qt, directly or through one
# of the velmora libraries it links.
function(velmora_check_no_qt target)
  get_target_property(_links ${target} LINK_LIBRARIES)
  if(NOT _links)
    return()
  endif()
  foreach(_lib IN LISTS _links)
    if(_lib MATCHES "Qt")
      message(FATAL_ERROR "${target} must not link Qt (found ${_lib})")
    endif()
    if(_lib MATCHES "^velmora_" AND TARGET ${_lib})
      velmora_check_no_qt(${_lib})
    endif()
  endforeach()
endfunction()
