# What `cmake --install` puts beside the two programs, and the Debian package made of it all
# (`cmake --build build --target package`, which runs `cpack -G DEB`).

# The license, where Debian keeps it; the command-line tool's manual page and shell completion.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrel RENAME copyright)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/man/vantrel-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/completion/vantrel-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The editor's: the desktop entry, the property-list MIME type (so that file managers open plist files with
# the editor), the icon, the AppStream metadata, the manual page and the completion. The PNG icons are made
# from the SVG with `rsvg-convert -w N -h N vantrel.svg -o vantrel-N.png` (package librsvg2-bin).
if(VANTREL_BUILD_GUI)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
            RENAME vantrel.xml)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/vantrel.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 48 256)
        install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/vantrel-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME vantrel.png)
    endforeach()
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/io.github.vantrel.Vantrel.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/man/vantrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/completion/vantrel
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_CONTACT "The Vantrel developers <vantrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for XML and binary property lists")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Vantrel edits property lists, the XML and binary .plist files that many programs keep their settings "
       "and data in, as an outline of key, type and value, with every edit undoable, and saves them without "
       "losing a byte of what they held. vantrel-cli converts, checks, prints, compares and edits them from "
       "the command line on the same model.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries' packages (Qt, expat, the C++ library) are found by dpkg-shlibdeps from the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
