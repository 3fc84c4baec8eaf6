# The mailslot transport and ksAnsiToOem.
# Windows: CreateFileA/WriteFile/CloseHandle and WideCharToMultiByte(CP_OEMCP), as Qt adapters
# over the Qt-free calls of win32/Win32Api.cpp (which win32/win32.cmake adds).
# Linux: the remote mailslot write as a NetBIOS datagram, and the OEM code page through iconv.
# The regional date and time formats come from the same locale variables as the OEM code page.
if(WIN32)
  target_sources(pellora_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/win32/Mailslot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win32/Oem.cpp
  )
else()
  target_sources(pellora_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/linux/Mailslot.cpp ${CMAKE_CURRENT_LIST_DIR}/linux/Mailslot.h
    ${CMAKE_CURRENT_LIST_DIR}/linux/NetBios.cpp ${CMAKE_CURRENT_LIST_DIR}/linux/NetBios.h
    ${CMAKE_CURRENT_LIST_DIR}/linux/NetBiosResolver.cpp ${CMAKE_CURRENT_LIST_DIR}/linux/NetBiosResolver.h
    ${CMAKE_CURRENT_LIST_DIR}/linux/Oem.cpp ${CMAKE_CURRENT_LIST_DIR}/linux/Oem.h
    ${CMAKE_CURRENT_LIST_DIR}/linux/OemSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/RegionalFormat.cpp
  )
  find_package(Threads REQUIRED)
  target_link_libraries(pellora_core PUBLIC Threads::Threads)
endif()
