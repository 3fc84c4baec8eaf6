# The Windows resource script of the program: the icon "A_MAIN" and the version resource,
# filled in from the names and numbers of Identity.cmake (include that first).
#   pellora_windows_resource(<var>)  writes pellora.rc into the current binary folder and sets
#                                    <var> to its path.
get_filename_component(_pellora_resource_root "${CMAKE_CURRENT_LIST_DIR}" DIRECTORY)

function(pellora_windows_resource out_var)
  # The version as the program shows it: major, two-digit minor, four-digit revision ("1.02.0014").
  set(_minor "${PELLORA_VERSION_MINOR}")
  string(LENGTH "${_minor}" _length)
  if(_length LESS 2)
    string(PREPEND _minor "0")
  endif()
  set(_revision "${PELLORA_VERSION_REVISION}")
  if(_revision STREQUAL "")
    set(_revision 0)
  endif()
  string(LENGTH "${_revision}" _length)
  while(_length LESS 4)
    string(PREPEND _revision "0")
    string(LENGTH "${_revision}" _length)
  endwhile()
  set(PELLORA_VERSION_TEXT "${PELLORA_VERSION_MAJOR}.${_minor}.${_revision}")
  if(PELLORA_VERSION_PATCH STREQUAL "")
    set(PELLORA_VERSION_PATCH 0)
  endif()
  if(PELLORA_VERSION_REVISION STREQUAL "")
    set(PELLORA_VERSION_REVISION 0)
  endif()
  set(_root "${_pellora_resource_root}")
  set(PELLORA_ICON_FILE "${_root}/resources/icons/A_MAIN.ico")
  configure_file("${_root}/resources/windows/pellora.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/pellora.rc" @ONLY)
  set(${out_var} "${CMAKE_CURRENT_BINARY_DIR}/pellora.rc" PARENT_SCOPE)
endfunction()
