# The Windows build of the support library, the shell, the desktop, the mailslot transport,
# ksAnsiToOem, the regional formats, the program's files and the stored settings (the registry):
# thin Qt adapters over the plain Win32 calls of Win32Api.cpp, which windows/CMakeLists.txt also
# cross-compiles and tests without Qt.
target_sources(${PELLORA_LIBRARY} PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Win32Api.cpp ${CMAKE_CURRENT_LIST_DIR}/Win32Api.h
  ${CMAKE_CURRENT_LIST_DIR}/Console.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Desktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mailslot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Oem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OemText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessengerPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OwnFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegionalFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionEnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StoredSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Support.cpp
)
target_link_libraries(${PELLORA_LIBRARY} PUBLIC shell32 ole32 uuid user32 advapi32)

# The icon "A_MAIN" and the version resource belong to pellora.exe, which src/CMakeLists.txt
# declares after this file has run: add them once that directory is done.
include(${PROJECT_SOURCE_DIR}/cmake/WindowsResource.cmake)
pellora_windows_resource(_pellora_resource)
cmake_language(EVAL CODE
  "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}/src]] CALL target_sources pellora PRIVATE [[${_pellora_resource}]])")
