# The layers of src/ and the one-way rule between them, bottom first:
#
#   app -> ui -> sending -> state, archive -> components -> system -> runtime
#                                             `------------ platform/ ----------'
#
#   runtime     platform/runtime       the window runtime's stand-ins: error, guard, application
#                                      object, service registry, message boxes, clock, pick menus
#   system      platform/support, platform/mailslot, platform/netbios, platform/posix,
#               platform/linux, platform/win32
#                                      the system adapters: support library, shell, desktop,
#                                      regional formats, OEM code page, mailslot transport
#   components  platform/components    the component library: histories, stored settings,
#                                      text-file writer, error prompt, form services
#
# Each layer is one static library that links only the layers below it, and its files may include
# only headers of its own folders and of the layers below it. An include that reaches up (or
# sideways, as between state/ and archive/) fails the build of the library that holds it, before
# anything is compiled.

# The folders of src/ that each layer holds, bottom first: within a layer, a folder may include
# the folders before it but not those after it, so no two folders include each other.
set(PELLORA_FOLDERS_runtime platform/runtime)
set(PELLORA_FOLDERS_system platform/support platform/mailslot platform/netbios platform/posix platform/linux
                           platform/win32)
# The operating system's folders: the only ones whose files may ask which system they are built
# for (Q_OS_...) or include its headers. src/platform/CMakeLists.txt builds the ones that fit.
set(PELLORA_SYSTEM_FOLDERS platform/posix platform/linux platform/win32)
set(PELLORA_FOLDERS_components platform/components)
set(PELLORA_FOLDERS_state state)
set(PELLORA_FOLDERS_archive archive)
set(PELLORA_FOLDERS_sending sending)
set(PELLORA_FOLDERS_ui ui)
set(PELLORA_FOLDERS_app app)
set(PELLORA_ALL_LAYERS runtime system components state archive sending ui app)

# The layers that each layer may include, its own first.
set(PELLORA_LAYER_runtime runtime)
set(PELLORA_LAYER_system system runtime)
set(PELLORA_LAYER_components components system runtime)
set(PELLORA_LAYER_state state components system runtime)
set(PELLORA_LAYER_archive archive components system runtime)
set(PELLORA_LAYER_sending sending state archive components system runtime)
set(PELLORA_LAYER_ui ui sending state archive components system runtime)
set(PELLORA_LAYER_app app ui sending state archive components system runtime)

# The top folders of src/, bottom first; the folders of tests/ with the same names test that
# folder's library (they link it), the other folders of tests/ drive the whole program.
# pellora_platform is the three platform layers together.
set_property(GLOBAL PROPERTY PELLORA_LAYERS platform state archive sending ui app)

# pellora_layer(<layer>)
# Completes the static library pellora_<layer> with the sources already given to it: links it to
# the libraries of the layers it may include (the table above, so that the links and the include
# check never disagree), checks that its sources lie in its own folders, and checks its includes
# at every build.
function(pellora_layer layer)
  if(NOT DEFINED PELLORA_LAYER_${layer})
    message(FATAL_ERROR "pellora_layer: ${layer} is no layer of src/ (cmake/Layers.cmake)")
  endif()
  set(target pellora_${layer})
  set(below ${PELLORA_LAYER_${layer}})
  list(REMOVE_ITEM below ${layer})
  list(TRANSFORM below PREPEND pellora_)
  target_link_libraries(${target} PUBLIC ${below})

  get_target_property(sources ${target} SOURCES)
  get_target_property(sourceDir ${target} SOURCE_DIR)
  set(files)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${sourceDir}" NORMALIZE OUTPUT_VARIABLE file)
    if(file MATCHES "\\.(h|cpp)$")
      file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}/src" "${file}")
      set(inside FALSE)
      foreach(folder IN LISTS PELLORA_FOLDERS_${layer})
        if(relative MATCHES "^${folder}/")
          set(inside TRUE)
        endif()
      endforeach()
      if(NOT inside)
        message(FATAL_ERROR "pellora_layer: src/${relative} is not in a folder of the ${layer} layer "
                            "(${PELLORA_FOLDERS_${layer}}; cmake/Layers.cmake)")
      endif()
      list(APPEND files "${file}")
    endif()
  endforeach()

  # "folder=layer|folder=layer|..." for every folder of every layer.
  set(map)
  foreach(other IN LISTS PELLORA_ALL_LAYERS)
    foreach(folder IN LISTS PELLORA_FOLDERS_${other})
      list(APPEND map "${folder}=${other}")
    endforeach()
  endforeach()
  string(REPLACE ";" "|" folderMap "${map}")
  string(REPLACE ";" "|" allowed "${PELLORA_LAYER_${layer}}")
  string(REPLACE ";" "|" systemFolders "${PELLORA_SYSTEM_FOLDERS}")
  list(JOIN PELLORA_LAYER_${layer} ", " shown)
  string(REPLACE ";" "|" fileList "${files}")
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}.includes")
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} "-DLAYER=${layer}" "-DALLOWED=${allowed}" "-DFOLDERS=${folderMap}"
            "-DSYSTEM_FOLDERS=${systemFolders}"
            "-DFILES=${fileList}" "-DROOT=${PROJECT_SOURCE_DIR}" -P "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake"
    COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
    DEPENDS ${files} "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake" "${PROJECT_SOURCE_DIR}/cmake/Layers.cmake"
    COMMENT "Checking that the ${layer} layer includes only ${shown}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_includes)
endfunction()
