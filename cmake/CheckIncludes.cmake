# cmake -DFOLDER=<folder> -DALLOWED=<a|b|...> -DFILES=<file|file|...> -DROOT=<source dir> -P CheckIncludes.cmake
# Fails when a file of src/<FOLDER> includes a header of a folder of src/ that is not in ALLOWED
# (see cmake/Layers.cmake). Includes of anything else (Qt, the standard library, generated
# headers, resources) are not looked at.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" allowed "${ALLOWED}")
string(REPLACE "|" ";" files "${FILES}")
set(layers app ui sending state archive platform)
set(failures "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^/\"]+)/([^\"]*)\"")
      set(included "${CMAKE_MATCH_1}")
      set(header "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}")
      if(included IN_LIST layers AND NOT included IN_LIST allowed)
        file(RELATIVE_PATH shown "${ROOT}" "${file}")
        string(APPEND failures "  ${shown}: #include \"${header}\" reaches ${included}/, "
                               "which src/${FOLDER} may not include\n")
      endif()
    endif()
  endforeach()
endforeach()
if(failures)
  list(JOIN allowed ", " seen)
  message(FATAL_ERROR "Layer rule broken: src/${FOLDER} may include only ${seen} (cmake/Layers.cmake).\n"
                      "${failures}")
endif()
