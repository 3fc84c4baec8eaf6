# The program's libraries, bottom first; each links only the ones beneath it, so a call that
# reaches up does not link:
#
#   pellora_ui        ui/, app/                   the windows and start-up; Qt Widgets
#   pellora_core      state/, archive/, sending/  the program's logic; Qt Core only, so that an
#                                                 include of Qt Gui or Qt Widgets does not build
#                                                 and a call into the window side does not link
#   pellora_window    platform/window/            the window side of the platform: message
#                                                 boxes, menus, window functions; Qt Widgets
#   pellora_platform  platform/                   the system, the window runtime's core, the
#                                                 support and component libraries; Qt Core only
#
# pellora_core and pellora_window both stand on pellora_platform; only pellora_ui links both.

# Each folder of src/ with a library of its own, bottom first: a new folder is one line here (and
# its own CMakeLists.txt, which gives its files to ${PELLORA_LIBRARY}).
set(PELLORA_FOLDERS
  platform=pellora_platform
  platform/window=pellora_window
  state=pellora_core
  archive=pellora_core
  sending=pellora_core
  receiving=pellora_core
  ui=pellora_ui
  app=pellora_ui
  receiver=pellora_receiver)

# The operating system's folders: the only ones whose files may ask which system they are built
# for (Q_OS_...) or include its headers. src/platform/CMakeLists.txt builds the ones that fit.
set(PELLORA_SYSTEM_FOLDERS platform/posix platform/linux platform/win32)

# pellora_library_of(<folder> <out>): the library that holds src/<folder>, or "" for none.
function(pellora_library_of folder out)
  set(${out} "" PARENT_SCOPE)
  foreach(entry IN LISTS PELLORA_FOLDERS)
    if(entry MATCHES "^${folder}=(.+)$")
      set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

# pellora_check_system_code(<library> [CORE_ONLY])
# Before the library is compiled, fails its build when a file outside the operating system's
# folders asks which system it is built for or includes a system header, and with CORE_ONLY when
# one names a Qt Gui or Widgets header by its module's path (cmake/CheckSystemCode.cmake).
function(pellora_check_system_code target)
  set(coreOnly OFF)
  if("CORE_ONLY" IN_LIST ARGN)
    set(coreOnly ON)
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(sourceDir ${target} SOURCE_DIR)
  set(files)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${sourceDir}" NORMALIZE OUTPUT_VARIABLE file)
    file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}/src" "${file}")
    set(inSystemFolder FALSE)
    foreach(folder IN LISTS PELLORA_SYSTEM_FOLDERS)
      if(relative MATCHES "^${folder}/")
        set(inSystemFolder TRUE)
      endif()
    endforeach()
    if(file MATCHES "\\.(h|cpp)$" AND NOT inSystemFolder)
      list(APPEND files "${file}")
    endif()
  endforeach()
  string(REPLACE ";" "|" fileList "${files}")
  string(REPLACE ";" ", " systemFolders "${PELLORA_SYSTEM_FOLDERS}")
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}.system-code")
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} "-DFILES=${fileList}" "-DSYSTEM_FOLDERS=${systemFolders}" "-DROOT=${PROJECT_SOURCE_DIR}"
            "-DCORE_ONLY=${coreOnly}" "-DLIBRARY=${target}"
            -P "${PROJECT_SOURCE_DIR}/cmake/CheckSystemCode.cmake"
    COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
    DEPENDS ${files} "${PROJECT_SOURCE_DIR}/cmake/CheckSystemCode.cmake"
    COMMENT "Checking that only the operating system's folders of ${target} hold system code"
    VERBATIM)
  add_custom_target(${target}_system_code DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_system_code)
endfunction()
