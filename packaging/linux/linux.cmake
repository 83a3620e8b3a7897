# What a desktop installation holds besides the program and its tool bar
# icons: the menu entry, the application icon, the AppStream metadata, the
# manual page and the package's documentation; and the Debian package that
# scripts/package builds from it all with CPack.

set(NORVEX_RELEASE_DATE 2026-12-07)
set(NORVEX_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")
set(NORVEX_MAINTAINER "Norvex Team <team@norvex.invalid>")
set(NORVEX_ICON_INSTALL_FULLDIR ${CMAKE_INSTALL_PREFIX}/${NORVEX_ICON_INSTALL_DIR})

set(desktop_entry ${CMAKE_CURRENT_BINARY_DIR}/${NORVEX_APP_ID}.desktop)
set(metainfo ${CMAKE_CURRENT_BINARY_DIR}/${NORVEX_APP_ID}.metainfo.xml)
configure_file(linux/norvex.desktop.in ${desktop_entry} @ONLY)
configure_file(linux/norvex.metainfo.xml.in ${metainfo} @ONLY)
configure_file(linux/norvex.1.in norvex.1 @ONLY)
configure_file(linux/changelog.in changelog @ONLY)
# Set for the tests, which validate the two files.
set(NORVEX_DESKTOP_ENTRY ${desktop_entry} PARENT_SCOPE)
set(NORVEX_METAINFO ${metainfo} PARENT_SCOPE)

# Compressed as Debian wants them: gzip at its best, with no name or time in
# the header, so that the same sources give the same package.
foreach(doc norvex.1 changelog)
    execute_process(COMMAND gzip -9 -n -c ${doc}
                    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                    OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/${doc}.gz
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(FILES ${desktop_entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/Project/app/norvex.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${NORVEX_APP_ID}.svg)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/norvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/norvex)

# The Debian package: norvex_<version>_<arch>.deb, a native package whose
# version is the project's.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvex)
set(CPACK_PACKAGE_CONTACT ${NORVEX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "engineering console for an HF antenna unit with a tuning coupler")
set(CPACK_PACKAGE_DESCRIPTION [[
Norvex is the engineering console of an HF antenna unit with an automatic
tuning coupler. A technician opens an RS-232 data link to the unit (COM1 to
COM10, 9600 to 57600 baud, 8 data bits, even parity, one stop bit), enters
the unit's part and serial numbers, and moves between six panels with a
vertical tool bar: Data Link, Test system, Factory settings, Measurement,
Switching and Coverage. A message log beside the panels shows the link's
events.

On Linux, COM1 to COM10 are /dev/COM1 to /dev/COM10 where a udev rule makes
those links, and otherwise the built-in ports /dev/ttyS0 to /dev/ttyS9.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the libraries the program links. It cannot see the
# SVG plugins, which Qt loads at run time to draw every icon (in libqt6svg6
# up to Debian 12, in qt6-svg-plugins since), nor the fonts: Qt draws no
# text at all without a font installed (DejaVu is the one that scripts/deps
# installs), and the title and logo labels ask for Tahoma, which the program
# loads from fonts-wine at start-up.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-svg-plugins | libqt6svg6 (<< 6.7.2-5~), fonts-dejavu-core, fonts-wine")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
