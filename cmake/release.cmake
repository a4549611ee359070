# Install rules and packages. Windows: a zip holding scourvane.exe, scourvane-cli.exe, README.txt and
# LICENSE. Elsewhere: the command-line tool with its manual page and documentation, as a Debian package
# (cpack -G DEB) or through cmake --install.
include(GNUInstallDirs)

set(SCOURVANE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

if(WIN32)
    # Everything at the top of the zip's folder: unzip and run.
    install(TARGETS scourvane scourvane-cli RUNTIME DESTINATION .)
    configure_file(${SCOURVANE_PACKAGING_DIR}/README.txt ${SCOURVANE_GENERATED_DIR}/README.txt @ONLY
                   NEWLINE_STYLE CRLF)
    install(FILES ${SCOURVANE_GENERATED_DIR}/README.txt DESTINATION .)
    install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "3do-scourvane-${PROJECT_VERSION}-windows-x64")
else()
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/scourvane-cli)
    install(TARGETS scourvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

    # Debian wants the manual page and the changelog compressed with gzip -9n (no name, no time).
    find_program(GZIP_PROGRAM gzip REQUIRED)
    configure_file(${SCOURVANE_PACKAGING_DIR}/changelog.in ${SCOURVANE_GENERATED_DIR}/changelog @ONLY)
    set(man_page ${SCOURVANE_GENERATED_DIR}/scourvane-cli.1.gz)
    set(changelog ${SCOURVANE_GENERATED_DIR}/changelog.Debian.gz)
    add_custom_command(OUTPUT ${man_page}
        COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/docs/scourvane-cli.1 > ${man_page}
        DEPENDS ${CMAKE_SOURCE_DIR}/docs/scourvane-cli.1 VERBATIM)
    add_custom_command(OUTPUT ${changelog}
        COMMAND ${GZIP_PROGRAM} -9n -c ${SCOURVANE_GENERATED_DIR}/changelog > ${changelog}
        DEPENDS ${SCOURVANE_GENERATED_DIR}/changelog VERBATIM)
    add_custom_target(scourvane_packaging_files ALL DEPENDS ${man_page} ${changelog})

    install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_SOURCE_DIR}/README.md ${changelog} DESTINATION ${docdir})
    # Debian's place for the licence is the copyright file.
    install(FILES ${SCOURVANE_PACKAGING_DIR}/copyright DESTINATION ${docdir})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME scourvane-cli)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Scourvane team <scourvane@example.org>")
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/scourvane/3do-scourvane")
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

set(CPACK_PACKAGE_VENDOR "The Scourvane team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cleans 3DO model files of the game TA in place")
set(CPACK_PACKAGE_DESCRIPTION
    "3DO Scourvane merges duplicate vertexes, drops unwanted faces and unused
vertexes, gives empty parts a single point and stores each texture name once,
so that the models of a TA mod are smaller and load faster. scourvane-cli
cleans files and folders from the command line and reports what it saved.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
