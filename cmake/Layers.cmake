# The layers of src/ and the one-way rule between them.
#
#   app  ->  ui  ->  sending  ->  state, archive  ->  platform
#
# Each folder of src/ is one static library that links only the layers below it, and may include
# only its own headers and those of the layers below it. An include that reaches up (or sideways,
# as between state/ and archive/) fails the build of the library that holds it, before anything
# is compiled.

# The folders of src/ that each folder may include, its own first.
set(PELLORA_LAYER_platform platform)
set(PELLORA_LAYER_state state platform)
set(PELLORA_LAYER_archive archive platform)
set(PELLORA_LAYER_sending sending state archive platform)
set(PELLORA_LAYER_ui ui sending state archive platform)
set(PELLORA_LAYER_app app ui sending state archive platform)
# The same, for the rest of the project (tests link the library of the folder they test).
set_property(GLOBAL PROPERTY PELLORA_LAYERS platform state archive sending ui app)

# pellora_layer(<folder> <library> [LINKS <library>...])
# Declares the static library of one folder of src/ with the sources already given to it, links it
# to the libraries of the layers below, and checks its includes at every build.
function(pellora_layer folder target)
  cmake_parse_arguments(arg "" "" "LINKS" ${ARGN})
  if(NOT DEFINED PELLORA_LAYER_${folder})
    message(FATAL_ERROR "pellora_layer: ${folder} is no layer of src/ (cmake/Layers.cmake)")
  endif()
  target_link_libraries(${target} PUBLIC ${arg_LINKS})

  get_target_property(sources ${target} SOURCES)
  get_target_property(sourceDir ${target} SOURCE_DIR)
  set(files)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${sourceDir}" NORMALIZE OUTPUT_VARIABLE file)
    if(file MATCHES "\\.(h|cpp)$")
      list(APPEND files "${file}")
    endif()
  endforeach()
  string(REPLACE ";" "|" allowed "${PELLORA_LAYER_${folder}}")
  list(JOIN PELLORA_LAYER_${folder} ", " shown)
  string(REPLACE ";" "|" fileList "${files}")
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}.includes")
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} "-DFOLDER=${folder}" "-DALLOWED=${allowed}" "-DFILES=${fileList}"
            "-DROOT=${PROJECT_SOURCE_DIR}" -P "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake"
    COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
    DEPENDS ${files} "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake" "${PROJECT_SOURCE_DIR}/cmake/Layers.cmake"
    COMMENT "Checking that src/${folder} includes only ${shown}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_includes)
endfunction()
