# The Debian package: `cpack -G DEB` in the build folder (scripts/package).
# Library dependencies come from dpkg-shlibdeps; the rest are what the
# program needs at run time but does not link.
set(CPACK_PACKAGE_NAME quillfind)
set(CPACK_PACKAGE_VENDOR "The Quillfind developers")
set(QF_PACKAGE_MAINTAINER "Quillfind developers <maintainers@quillfind.org>" CACHE STRING "The package's Maintainer field")
set(CPACK_PACKAGE_CONTACT "${QF_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillfind finds files and folders by name across all indexed disks while\nyou type. Its own index service (quillfind-indexd) keeps the names current,\nand the mdfind command answers the same searches in a terminal.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME "quillfind_${PROJECT_VERSION}_${CMAKE_SYSTEM_PROCESSOR}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-wayland, libqt6svg6, qt6-translations-l10n, fonts-noto-cjk, shared-mime-info, xdg-utils, hicolor-icon-theme, adwaita-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-user-session")
# The copyright file Debian policy asks for, from the project's LICENSE.
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/copyright COPYONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillfind)
# The autostart entry in /etc is configuration the administrator may edit.
file(WRITE ${CMAKE_BINARY_DIR}/package/conffiles "/etc/xdg/autostart/${QF_APP_ID}.indexd.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/package/conffiles)
include(CPack)
