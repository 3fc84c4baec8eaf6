# cmake -DFILES=<file|...> -DSYSTEM_FOLDERS=<text> -DROOT=<source dir> -DLIBRARY=<name> [-DCORE_ONLY=ON]
#       -P CheckSystemCode.cmake
# Fails when one of FILES (none of them in the operating system's folders) asks which system it
# is built for (Q_OS_...) or includes a system header: one whose name has a '.' or a '/' and is
# no Qt header (<unistd.h>, <sys/stat.h>, <windows.h>; the C++ library's own are allowed).
# With CORE_ONLY, also when one includes a Qt Gui or Qt Widgets header by its module's path
# (<QtWidgets/QWidget>), or a header of the window side ("platform/window/..."): the include path
# of a Qt Core library has no such modules, but Qt's own root and src/, through which those would
# still be found.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" files "${FILES}")
set(failures "")
foreach(file IN LISTS files)
  file(RELATIVE_PATH shown "${ROOT}" "${file}")
  file(STRINGS "${file}" lines REGEX "Q_OS_|^[ \t]*#[ \t]*include[ \t]*<[^Q>][^>]*[./][^>]*>")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    string(APPEND failures "  ${shown}: ${line}\n")
  endforeach()
endforeach()
set(guiFailures "")
if(CORE_ONLY)
  foreach(file IN LISTS files)
    file(RELATIVE_PATH shown "${ROOT}" "${file}")
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*(<Qt(Gui|Widgets)/|\"platform/window/)")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      string(APPEND guiFailures "  ${shown}: ${line}\n")
    endforeach()
  endforeach()
endif()
if(guiFailures)
  message(FATAL_ERROR "${LIBRARY} uses Qt Core only (cmake/Libraries.cmake).\n${guiFailures}")
endif()
if(failures)
  message(FATAL_ERROR "Only the operating system's folders (${SYSTEM_FOLDERS}) ask which system they are built "
                      "for or include its headers (cmake/Libraries.cmake).\n${failures}")
endif()
