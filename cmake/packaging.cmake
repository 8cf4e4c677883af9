# The Debian package: `cpack -G DEB` in the build folder (scripts/package).
# Library dependencies come from dpkg-shlibdeps; the rest are what the
# program needs at run time but does not link. lintian has nothing to say
# about it (CI checks that).
set(CPACK_PACKAGE_NAME quillfind)
set(CPACK_PACKAGE_VENDOR "The Quillfind developers")
set(QF_PACKAGE_MAINTAINER "Quillfind developers <maintainers@quillfind.org>" CACHE STRING "The package's Maintainer field")
set(CPACK_PACKAGE_CONTACT "${QF_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillfind finds files and folders by name across all indexed disks while\nyou type. Its own index service (quillfind-indexd) keeps the names current,\nand the mdfind command answers the same searches in a terminal.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

# Not a native Debian package: the project is its upstream, so the version
# carries a Debian revision and the changelog is changelog.Debian.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(QF_DEBIAN_VERSION "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n, shared-mime-info, xdg-utils")
# The window runs without these, only less well: other fonts draw the
# Chinese, X11 stands in for Wayland, Qt's own icons for the theme's.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-noto-cjk, qt6-wayland, adwaita-icon-theme, hicolor-icon-theme, dbus-user-session")

# Debian strips more than `strip` does by default (see strip_staged.cmake.in).
set(CPACK_STRIP_FILES OFF)
find_program(CMAKE_STRIP strip)
configure_file(${CMAKE_SOURCE_DIR}/cmake/package/strip_staged.cmake.in ${CMAKE_BINARY_DIR}/package/strip_staged.cmake
               @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_BINARY_DIR}/package/strip_staged.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

set(_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillfind)
set(_pkg ${CMAKE_BINARY_DIR}/package)
# The copyright file in Debian's machine-readable format, the licence text
# taken from LICENSE.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE _license)
string(FIND "${_license}" "Permission is hereby" _start)
string(SUBSTRING "${_license}" ${_start} -1 _license)
string(STRIP "${_license}" _license)
string(REPLACE "\n" "\n " _license "${_license}")
string(REPLACE "\n \n" "\n .\n" _license "${_license}")
file(WRITE ${_pkg}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: ${PROJECT_NAME}\n"
     "Upstream-Contact: ${QF_PACKAGE_MAINTAINER}\n"
     "Source: ${PROJECT_HOMEPAGE_URL}\n\n"
     "Files: *\n"
     "Copyright: 2026 The Quillfind developers\n"
     "License: Expat\n\n"
     "License: Expat\n ${_license}\n")
install(FILES ${_pkg}/copyright DESTINATION ${_doc})

# The changelog's date is the release date, so the same release packs the
# same bytes whenever it is built.
execute_process(COMMAND date -u -R -d "${QF_RELEASE_DATE} 00:00:00 UTC" OUTPUT_VARIABLE QF_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/package/changelog.in ${_pkg}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${_pkg}/changelog.Debian.gz
                   COMMAND gzip -9n -c ${_pkg}/changelog.Debian > ${_pkg}/changelog.Debian.gz
                   DEPENDS ${_pkg}/changelog.Debian VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${_pkg}/changelog.Debian.gz)
install(FILES ${_pkg}/changelog.Debian.gz DESTINATION ${_doc})

install(FILES ${CMAKE_SOURCE_DIR}/cmake/package/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME quillfind)

# The autostart entry in /etc is configuration the administrator may edit.
file(WRITE ${_pkg}/conffiles "/etc/xdg/autostart/${QF_APP_ID}.indexd.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_pkg}/conffiles)
include(CPack)
