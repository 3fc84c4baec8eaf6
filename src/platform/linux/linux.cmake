# What Linux and its desktop have: the XDG folders, the settings file in them, the shell
# (xdg-open), the desktop's wallpaper, the support library's folders; the calls posix/ needs
# beyond POSIX (UnixPort.cpp); the receiver's port (abstract local sockets, the peer's user).
target_sources(${PELLORA_LIBRARY} PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Desktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessengerPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnixPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp ${CMAKE_CURRENT_LIST_DIR}/Shell.h
  ${CMAKE_CURRENT_LIST_DIR}/StoredSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XdgFolders.cpp ${CMAKE_CURRENT_LIST_DIR}/XdgFolders.h
)
# GIO's headers only: GNOME's settings are read through GIO, which Desktop.cpp loads at run time
# on the desktops that keep their wallpaper there (Qt itself does not load it).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PELLORA_GIO REQUIRED gio-2.0)
target_include_directories(${PELLORA_LIBRARY} SYSTEM PRIVATE ${PELLORA_GIO_INCLUDE_DIRS})
target_link_libraries(${PELLORA_LIBRARY} PRIVATE ${CMAKE_DL_LIBS})
