# Install rules for Tarvello, included by the top-level CMakeLists.txt after the
# `tarvello` executable target is defined: the program, its desktop entry, its
# AppStream metainfo and its 32x32 icon, laid out per GNUInstallDirs.
include_guard(GLOBAL)
include(GNUInstallDirs)

if(NOT TARGET tarvello)
    message(FATAL_ERROR "resources/install.cmake: include it after add_executable(tarvello ...)")
endif()

set(TARVELLO_APPSTREAM_ID "io.github.miskard.Tarvello")

install(TARGETS tarvello
    RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

install(FILES "${CMAKE_CURRENT_LIST_DIR}/tarvello.desktop"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

install(FILES "${CMAKE_CURRENT_LIST_DIR}/tarvello.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo"
    RENAME "${TARVELLO_APPSTREAM_ID}.metainfo.xml")

install(FILES "${CMAKE_CURRENT_LIST_DIR}/tarvello.png"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps"
    RENAME "tarvello.png")
