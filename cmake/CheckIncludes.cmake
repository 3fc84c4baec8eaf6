# cmake -DLAYER=<layer> -DALLOWED=<a|b|...> -DFOLDERS=<folder=layer|...> -DSYSTEM_FOLDERS=<folder|...>
#       -DFILES=<file|...> -DROOT=<source dir> -P CheckIncludes.cmake
# Fails when a file of the layer LAYER includes a header of src/ that lies in a layer not in
# ALLOWED, or in no layer at all, or in a folder of its own layer that comes after the file's own
# folder in FOLDERS, which lists each layer's folders bottom first (see cmake/Layers.cmake): so
# no two folders include each other. Includes of anything else (Qt, the standard library,
# generated headers, resources) are not looked at.
# Also fails when a file outside the operating system's folders SYSTEM_FOLDERS asks which system
# it is built for (Q_OS_...) or includes a system header: one whose name has a '.' or a '/' and
# is no Qt header (<unistd.h>, <sys/stat.h>, <windows.h>; the C++ library's own are allowed).
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" allowed "${ALLOWED}")
string(REPLACE "|" ";" files "${FILES}")
string(REPLACE "|" ";" folderMap "${FOLDERS}")
string(REPLACE "|" ";" systemFolders "${SYSTEM_FOLDERS}")
# The top folders of src/: an include that starts with one of them is a header of the program.
set(tops)
foreach(entry IN LISTS folderMap)
  string(REGEX REPLACE "[/=].*" "" top "${entry}")
  list(APPEND tops "${top}")
endforeach()
list(REMOVE_DUPLICATES tops)

# The folder of FOLDERS that holds `path` (the longest that does), its layer and its place in
# FOLDERS; empty when none does.
function(owner_of path outFolder outLayer outIndex)
  set(folderFound "")
  set(layerFound "")
  set(indexFound -1)
  set(index 0)
  foreach(entry IN LISTS folderMap)
    string(REGEX MATCH "^([^=]+)=(.+)$" _ "${entry}")
    string(LENGTH "${CMAKE_MATCH_1}" length)
    string(LENGTH "${folderFound}" foundLength)
    string(FIND "${path}" "${CMAKE_MATCH_1}/" at)
    if(at EQUAL 0 AND length GREATER foundLength)
      set(folderFound "${CMAKE_MATCH_1}")
      set(layerFound "${CMAKE_MATCH_2}")
      set(indexFound ${index})
    endif()
    math(EXPR index "${index} + 1")
  endforeach()
  set(${outFolder} "${folderFound}" PARENT_SCOPE)
  set(${outLayer} "${layerFound}" PARENT_SCOPE)
  set(${outIndex} ${indexFound} PARENT_SCOPE)
endfunction()

set(failures "")
set(systemFailures "")
foreach(file IN LISTS files)
  file(RELATIVE_PATH inSrc "${ROOT}/src" "${file}")
  file(RELATIVE_PATH shown "${ROOT}" "${file}")
  owner_of("${inSrc}" fileFolder fileLayer fileIndex)
  if(NOT fileFolder IN_LIST systemFolders)
    file(STRINGS "${file}" systemLines REGEX "Q_OS_|^[ \t]*#[ \t]*include[ \t]*<[^Q>][^>]*[./][^>]*>")
    foreach(line IN LISTS systemLines)
      string(STRIP "${line}" line)
      string(APPEND systemFailures "  ${shown}: ${line}\n")
    endforeach()
  endif()
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "#[ \t]*include[ \t]*\"(([^/\"]+)/[^\"]*)\"")
      continue()
    endif()
    set(header "${CMAKE_MATCH_1}")
    if(NOT CMAKE_MATCH_2 IN_LIST tops)
      continue()
    endif()
    owner_of("${header}" ownerFolder owner ownerIndex)
    if(owner STREQUAL "")
      string(APPEND failures "  ${shown}: #include \"${header}\" is in no layer\n")
    elseif(NOT owner IN_LIST allowed)
      string(APPEND failures "  ${shown}: #include \"${header}\" reaches ${ownerFolder}/ (the ${owner} layer), "
                             "which the ${LAYER} layer may not include\n")
    elseif(owner STREQUAL fileLayer AND ownerIndex GREATER fileIndex)
      string(APPEND failures "  ${shown}: #include \"${header}\" reaches ${ownerFolder}/, which comes after "
                             "${fileFolder}/ in the ${LAYER} layer\n")
    endif()
  endforeach()
endforeach()
if(failures)
  list(JOIN allowed ", " seen)
  message(FATAL_ERROR "Layer rule broken: the ${LAYER} layer may include only ${seen} (cmake/Layers.cmake).\n"
                      "${failures}")
endif()
if(systemFailures)
  string(REPLACE ";" ", " seen "${systemFolders}")
  message(FATAL_ERROR "Only the operating system's folders (${seen}) ask which system they are built for "
                      "or include its headers (cmake/Layers.cmake).\n${systemFailures}")
endif()
