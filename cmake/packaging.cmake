# Install rules and the Debian packages: the tool (merro-download) and the
# simulated device (merro-download-sim), built with `cpack -G DEB`.
include(GNUInstallDirs)

install(TARGETS merro-download RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/app/merro-download.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tool)
# The icon is 128x128.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/app/Images/appicon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps
        RENAME merro-download.png COMPONENT tool)
install(TARGETS merro-devicesim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/sim/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR}-sim COMPONENT sim)

set(CPACK_GENERATOR DEB)
# A tree built with debug information packages lean binaries all the same.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME merro-download)
set(CPACK_PACKAGE_VENDOR "merro-download")
set(CPACK_PACKAGE_CONTACT "merro-download developers <merro-download@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL tool sim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME merro-download)
set(CPACK_DEBIAN_SIM_PACKAGE_NAME merro-download-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_SECTION devel)
# Each first line is the package's summary.
set(CPACK_DEBIAN_TOOL_DESCRIPTION "Lists, downloads and deletes the recordings on a networked camera
Links to the device's control and ground units on its wired LAN, lists the
recordings on the camera's SD card, downloads them into a local DCIM folder,
deletes files and formats the card. English or Chinese.")
set(CPACK_DEBIAN_SIM_DESCRIPTION "Simulated camera device for trying merro-download
The control unit, the ground unit and the camera's HTTP server in one
process, serving a card folder, with fault modes for testing.")
# Dependencies (the Qt 5 libraries) come from the binaries themselves.
find_program(MERRO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MERRO_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libqt5widgets5 (>= 5.15), libqt5network5 (>= 5.15)")
    set(CPACK_DEBIAN_SIM_PACKAGE_DEPENDS "libqt5network5 (>= 5.15)")
endif()
include(CPack)
