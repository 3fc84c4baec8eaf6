# What Linux and its desktop have: the XDG folders, the settings file in them, the shell
# (xdg-open), the desktop's wallpaper, the support library's folders.
target_sources(pellora_system PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Desktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp ${CMAKE_CURRENT_LIST_DIR}/Shell.h
  ${CMAKE_CURRENT_LIST_DIR}/StoredSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XdgFolders.cpp ${CMAKE_CURRENT_LIST_DIR}/XdgFolders.h
)
