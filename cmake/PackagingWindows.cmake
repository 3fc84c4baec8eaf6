# The Windows packages, both of what the install rules below put in one folder: pellora.exe, the
# Qt libraries and the compiler's runtime libraries it loads, and the two Qt plugins it needs
# (platforms/qwindows.dll, styles/qwindowsvistastyle.dll).
#   cpack -G ZIP      Pellora-<version>-win64.zip, the portable folder
#   cpack -G NSIS64   Pellora-<version>-win64-setup.exe, an installer for the current user
#                     (packaging/windows/NSIS.template.in; needs makensis, Debian: nsis)
# scripts/package-windows builds both and checks that the folder holds what the program loads.
if(NOT WIN32)
  return()
endif()

install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

if(MINGW)
  # GCC's C++, support and thread libraries, which Qt and the program share. The compiler knows
  # where its own are; a MinGW installed on Windows keeps them beside gcc.exe.
  get_filename_component(_compiler_dir "${CMAKE_CXX_COMPILER}" DIRECTORY)
  foreach(_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
      set(_path "${_compiler_dir}/${_dll}")
    endif()
    if(NOT EXISTS "${_path}")
      message(FATAL_ERROR "The compiler's runtime library ${_dll} was not found")
    endif()
    get_filename_component(_path "${_path}" REALPATH)
    install(FILES "${_path}" DESTINATION .)
  endforeach()
  # The libraries come with symbols and debugging sections (libstdc++ is 23 MB so, 2 MB
  # without): the installed copies are stripped.
  install(CODE "
    file(GLOB _dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*/*.dll\")
    foreach(_dll IN LISTS _dlls)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${_dll}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
elseif(MSVC)
  set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
  include(InstallRequiredSystemLibraries)
endif()

set(CPACK_GENERATOR ZIP NSIS64)
set(CPACK_PACKAGE_NAME ${PELLORA_INTERNAL_NAME})
set(CPACK_PACKAGE_VENDOR ${PELLORA_COMPANY})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME "${PELLORA_INTERNAL_NAME}-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${PELLORA_INTERNAL_NAME})
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${PELLORA_INTERNAL_NAME})
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 2)
# The installer's own name, and its template (found through CMAKE_MODULE_PATH).
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/CPackWindowsOptions.cmake")
file(WRITE "${CPACK_PROJECT_CONFIG_FILE}"
     "if(CPACK_GENERATOR MATCHES \"NSIS\")\n  set(CPACK_PACKAGE_FILE_NAME \"${CPACK_PACKAGE_FILE_NAME}-setup\")\nendif()\n")
list(PREPEND CMAKE_MODULE_PATH "${PROJECT_SOURCE_DIR}/packaging/windows")
set(CPACK_NSIS_PACKAGE_NAME ${PELLORA_INTERNAL_NAME})
set(CPACK_NSIS_DISPLAY_NAME ${PELLORA_INTERNAL_NAME})
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/resources/icons/A_MAIN.ico")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# For the template: the version resource of the installer (four numbers), the program file.
set(CPACK_PELLORA_FILE_VERSION "${PELLORA_VERSION_MAJOR}.${PELLORA_VERSION_MINOR}.${PELLORA_VERSION_PATCH}.${PELLORA_VERSION_REVISION}")
set(CPACK_PELLORA_EXE "${PELLORA_EXE_NAME}.exe")
set(CPACK_PELLORA_DESCRIPTION "${PELLORA_DESCRIPTION}")

include(CPack)
