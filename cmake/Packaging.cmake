# The Debian package: `cpack -G DEB` in a build folder configured with CMAKE_INSTALL_PREFIX=/usr.
# It holds what `cmake --install` puts in place (the program, its desktop entry, metainfo and
# icons) plus the manual page, the copyright file and the Debian changelog. Its dependencies
# come from dpkg-shlibdeps (package dpkg-dev). scripts/test-package builds, checks, installs
# and removes it.
if(NOT UNIX OR APPLE)
  return()
endif()

set(PELLORA_DEB_MAINTAINER "Orvane <pellora@orvane.net>")
set(PELLORA_DEB_REVISION 1)
set(PELLORA_DEB_VERSION "${PROJECT_VERSION}-${PELLORA_DEB_REVISION}")
# The day of this version, for the changelog and the manual page (not the build's day, so that
# the package comes out the same on every build).
set(PELLORA_DEB_DATE "Mon, 07 Dec 2026 12:00:00 +0000")
set(PELLORA_MAN_DATE "2026-12-07")
string(TOUPPER "${PELLORA_EXE_NAME}" PELLORA_EXE_NAME_UPPER)

# --- The files Debian wants beside the program -------------------------------------------------
set(_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/${PELLORA_EXE_NAME}")
set(_pkg_out "${PROJECT_BINARY_DIR}/packaging")
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${_pkg_out}/changelog.Debian @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/pellora.1.in ${_pkg_out}/${PELLORA_EXE_NAME}.1 @ONLY)

find_program(PELLORA_GZIP gzip REQUIRED)
# -n: no name or time stamp inside, so the compressed files are the same on every build.
add_custom_command(
  OUTPUT ${_pkg_out}/changelog.Debian.gz ${_pkg_out}/${PELLORA_EXE_NAME}.1.gz
  COMMAND ${PELLORA_GZIP} -9 -n -f -k ${_pkg_out}/changelog.Debian
  COMMAND ${PELLORA_GZIP} -9 -n -f -k ${_pkg_out}/${PELLORA_EXE_NAME}.1
  DEPENDS ${_pkg_out}/changelog.Debian ${_pkg_out}/${PELLORA_EXE_NAME}.1
  COMMENT "Compressing the Debian changelog and the manual page")
add_custom_target(pellora_package_docs ALL DEPENDS ${_pkg_out}/changelog.Debian.gz ${_pkg_out}/${PELLORA_EXE_NAME}.1.gz)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${_pkg_out}/changelog.Debian.gz DESTINATION ${_doc_dir})
install(FILES ${_pkg_out}/${PELLORA_EXE_NAME}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${PELLORA_EXE_NAME})

# The receiver's manual page.
configure_file(${PROJECT_SOURCE_DIR}/packaging/pellora-receiver.1.in ${_pkg_out}/pellora-receiver.1 @ONLY)
add_custom_command(
  OUTPUT ${_pkg_out}/pellora-receiver.1.gz
  COMMAND ${PELLORA_GZIP} -9 -n -f -k ${_pkg_out}/pellora-receiver.1
  DEPENDS ${_pkg_out}/pellora-receiver.1
  COMMENT "Compressing the receiver's manual page")
add_custom_target(pellora_receiver_manual ALL DEPENDS ${_pkg_out}/pellora-receiver.1.gz)
install(FILES ${_pkg_out}/pellora-receiver.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# --- The package ---------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_VERBATIM_VARIABLES ON) # the description holds quotes
set(CPACK_PACKAGE_NAME ${PELLORA_EXE_NAME})
set(CPACK_PACKAGE_VENDOR ${PELLORA_COMPANY})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PELLORA_DEB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send a text message to a computer's Messenger service")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 2)

set(CPACK_DEBIAN_PACKAGE_NAME ${PELLORA_EXE_NAME})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PELLORA_DEB_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PELLORA_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvane.net/pellora")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The data folder button opens the folder through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# CPack puts the summary above this as the first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "${PELLORA_TITLE} writes one text message into the Messenger mailslot
\"messngr\" of a Windows computer on the local network, as a NetBIOS
datagram. The sender, recipient and computer names are kept in history
lists, and a local copy of every delivered message is saved as a text file.")

# The receiver's right to UDP port 138 (packaging/postinst, through setcap).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
# Its start at login, off by default, is a file of /etc: a configuration file the user may change.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/conffiles)

include(CPack)
