# Debian package for Tarvello, built by CPack from the install rules
# (resources/install.cmake): `cpack --preset default` after a default build,
# or `cmake --workflow --preset package` for configure, build and package at
# once. Included by the top-level CMakeLists.txt after the install rules.
include_guard(GLOBAL)

set(TARVELLO_PACKAGE_MAINTAINER "Miskard <miskard@tarvello.invalid>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")

# The package's one-line description is the program's own. Chinese sets no
# spaces between words, and Debian's tools take a line without a space for a
# single word, so a space goes where Latin letters or figures meet Chinese
# ("80% 的"), as Chinese typesetting often does anyway.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/description.txt" tarvello_summary LIMIT_COUNT 1
    ENCODING UTF-8)
string(REGEX REPLACE "([0-9A-Za-z%])([^ -~])" "\\1 \\2" tarvello_summary "${tarvello_summary}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvello)
set(CPACK_PACKAGE_VENDOR Miskard)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TARVELLO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${tarvello_summary}")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvello opens a forum's task-claim address for a given task id in an\n\
embedded browser pane and reloads it every two seconds until the window is\n\
closed.")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Built with debug information; the package carries the program without it.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVELLO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links come from dpkg-shlibdeps. What it cannot
# see is named here: the web engine's sandbox starts its web processes under
# bwrap with xdg-dbus-proxy in between, and the window's texts are Chinese,
# which without a CJK font show as empty boxes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "bubblewrap, xdg-dbus-proxy, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")

include(CPack)
