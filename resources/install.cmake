# Install rules for Tarvello, included by the top-level CMakeLists.txt after the
# `tarvello` executable target is defined: the program, its desktop entry, its
# AppStream metainfo, its 32x32 icon, its manual page, and the licence and
# change log under share/doc/tarvello, laid out per GNUInstallDirs.
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

# The manual page, the licence and the change log, in the places Debian
# expects them. The change log and the manual page are compressed with
# gzip -9n (no name, no time), so every build makes the same bytes.
if(UNIX)
    install(FILES "${CMAKE_CURRENT_LIST_DIR}/debian/copyright"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

    find_program(TARVELLO_GZIP gzip REQUIRED)
    set(tarvello_compressed "${CMAKE_CURRENT_BINARY_DIR}/compressed")
    set(tarvello_compressed_files)
    foreach(doc_source tarvello.1 debian/changelog)
        get_filename_component(doc_name "${doc_source}" NAME)
        set(doc_gz "${tarvello_compressed}/${doc_name}.gz")
        add_custom_command(OUTPUT "${doc_gz}"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${tarvello_compressed}"
            COMMAND sh -c "\"$1\" -9n -c \"$2\" > \"$3\"" sh
                    "${TARVELLO_GZIP}" "${CMAKE_CURRENT_LIST_DIR}/${doc_source}" "${doc_gz}"
            DEPENDS "${CMAKE_CURRENT_LIST_DIR}/${doc_source}"
            COMMENT "Compressing ${doc_source}"
            VERBATIM)
        list(APPEND tarvello_compressed_files "${doc_gz}")
    endforeach()
    add_custom_target(tarvello_compressed_docs ALL DEPENDS ${tarvello_compressed_files})

    install(FILES "${tarvello_compressed}/tarvello.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    install(FILES "${tarvello_compressed}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")
endif()
