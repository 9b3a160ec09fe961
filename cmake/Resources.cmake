# vorlan_resources(TARGET SCRIPT [DEPENDS files...] [SEARCH folders...])
#
# Compiles the resource script SCRIPT with vorlan-rc into the program TARGET;
# the resources are registered when it starts. Files the script names are
# looked for beside the script, then in the SEARCH folders, the folders of the
# DEPENDS files and the current binary folder. Files made at build time must be listed in DEPENDS so that they are
# made first; every file the script names is a dependency through the
# compiler's depfile, so a change to any of them, or to the script, rebuilds
# the resources.
function(vorlan_resources target script)
  cmake_parse_arguments(ARG "" "" "DEPENDS;SEARCH" ${ARGN})
  get_filename_component(script "${script}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "EXECUTABLE")
    # A static library would drop the unreferenced registration at link time,
    # and a shared library would register with its own copy of the static
    # platform library, where the program never looks.
    message(FATAL_ERROR "vorlan_resources: ${target} is not a program")
  endif()
  get_target_property(done ${target} VORLAN_RESOURCE_SCRIPT)
  if(done)
    message(FATAL_ERROR "vorlan_resources: ${target} already has the resources of ${done}")
  endif()
  set_target_properties(${target} PROPERTIES VORLAN_RESOURCE_SCRIPT "${script}")

  set(search)
  foreach(folder ${ARG_SEARCH})
    get_filename_component(folder "${folder}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND search -I "${folder}")
  endforeach()
  set(depends)
  foreach(file ${ARG_DEPENDS})
    get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    get_filename_component(folder "${file}" DIRECTORY)
    list(APPEND search -I "${folder}")
    list(APPEND depends "${file}")
  endforeach()
  list(APPEND search -I "${CMAKE_CURRENT_BINARY_DIR}")

  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources")
  file(MAKE_DIRECTORY "${out}")
  add_custom_command(
    OUTPUT "${out}/resources.cpp" "${out}/resources.bin"
    COMMAND vorlan-rc --name ${target} --program ${search}
            --output "${out}/resources.cpp" --blob "${out}/resources.bin"
            --depfile "${out}/resources.d" "${script}"
    DEPENDS vorlan-rc "${script}" ${depends}
    DEPFILE "${out}/resources.d"
    COMMENT "Compiling the resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}/resources.cpp")
  target_link_libraries(${target} PRIVATE platform)
endfunction()
