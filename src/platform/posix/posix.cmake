# What any Unix system has (POSIX, with the few calls of UnixPort.h that each system gives in its
# own folder): the remote mailslot write as a NetBIOS datagram with its name resolver,
# ksAnsiToOem through iconv, the regional date and time formats from the locale variables, the
# system's requests to stop, the console, and the program's own files.
target_sources(${PELLORA_LIBRARY} PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CodePages.cpp ${CMAKE_CURRENT_LIST_DIR}/CodePages.h
  ${CMAKE_CURRENT_LIST_DIR}/Console.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mailslot.cpp ${CMAKE_CURRENT_LIST_DIR}/Mailslot.h
  ${CMAKE_CURRENT_LIST_DIR}/NetBiosResolver.cpp ${CMAKE_CURRENT_LIST_DIR}/NetBiosResolver.h
  ${CMAKE_CURRENT_LIST_DIR}/Oem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OemText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OwnFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegionalFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionEnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnixPort.h
)
find_package(Threads REQUIRED)
target_link_libraries(${PELLORA_LIBRARY} PUBLIC Threads::Threads)
