# SPDX-License-Identifier: MIT
# The Debian package: pelmora_VERSION_ARCH.deb, built by scripts/package.sh.
# Its dependencies are the package names of the release it is built on,
# worked out from the binary by dpkg-shlibdeps, plus the package of the Qt
# platform plugin the window runs on.
include(GNUInstallDirs)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pelmora developers")
# The project has no public address, so the default is one under the
# top-level domain .invalid, which RFC 6761 reserves for names that can never
# exist: well formed, so the package's tools accept it, and plainly no
# mailbox to write to. Whoever ships the package gives a real one with
# -DPELMORA_MAINTAINER=... . It signs the changelog's entry too.
set(PELMORA_MAINTAINER "The Pelmora developers <maintainer@pelmora.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${PELMORA_MAINTAINER}")

# The changelog, compressed as Debian wants it (gzip -n, as the manual page).
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/data/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/data/changelog.gz
  COMMAND ${GZIP} -9nc ${CMAKE_BINARY_DIR}/data/changelog > ${CMAKE_BINARY_DIR}/data/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/data/changelog
  COMMENT "Compressing the changelog")
add_custom_target(pelmora_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/data/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/data/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelmora)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small desktop monitor of CPU load, memory and processes")
set(CPACK_PACKAGE_DESCRIPTION
    "Pelmora shows the CPU load, the memory and swap figures and three\n\
free-resource percentages in a single fixed-size window, draws the recent\n\
CPU load and memory use as a graph and lists the running processes. While\n\
the window is minimized its title carries the CPU and memory figures, so\n\
they show on the taskbar.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libqxcb.so is loaded at run time, so dpkg-shlibdeps cannot see it. Debian
# ships it with libQt6Gui, which the binary links against; should a release
# put it in a package of its own, that package is named as well.
function(pelmora_owner pattern out)
  execute_process(COMMAND dpkg-query -S "${pattern}" OUTPUT_VARIABLE owner ERROR_QUIET)
  string(REGEX MATCH "^[^:, ]+" owner "${owner}")
  set(${out} "${owner}" PARENT_SCOPE)
endfunction()
pelmora_owner("*/qt6/plugins/platforms/libqxcb.so" qpa_package)
pelmora_owner("*/libQt6Gui.so.6" gui_package)
if(qpa_package AND NOT qpa_package STREQUAL gui_package)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${qpa_package}")
endif()
# The window's texts are Japanese; any of these fonts renders them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
include(CPack)
