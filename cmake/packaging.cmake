# Install rules and the Debian packages: the tool (merro-download) and the
# simulated device (merro-download-sim), built with `cpack -G DEB`.
include(GNUInstallDirs)

set(MERRO_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(MERRO_PACKAGING_OUT ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(MERRO_TOOL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/merro-download)
set(MERRO_SIM_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/merro-download-sim)
set(MERRO_MAINTAINER "merro-download developers <maintainers@merro-download.org>")
set(MERRO_HOMEPAGE "https://merro-download.org/")

# Both packages come from one source and share its changelog; a new version
# needs its entry there first.
file(STRINGS ${MERRO_PACKAGING}/changelog MERRO_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT MERRO_CHANGELOG_TOP MATCHES "^merro-download \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog does not start with an entry for "
                        "${PROJECT_VERSION}: ${MERRO_CHANGELOG_TOP}")
endif()

# Relocations resolved at start and then read-only, as Debian builds its own.
foreach(program merro-download merro-devicesim)
    target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
endforeach()

install(TARGETS merro-download RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/app/merro-download.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tool)
# The icon is 128x128.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/app/Images/appicon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps
        RENAME merro-download.png COMPONENT tool)
# What software centres show: names, summaries, a description and screenshots.
install(FILES ${MERRO_PACKAGING}/org.merro_download.MerroDownload.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT tool)
# The scheduled sync, as systemd user units. Not enabled here: each user
# enables the timer (a user's own settings choose the device and the folder).
# lib/ and not the library dir, which is multiarch on Debian.
install(FILES ${MERRO_PACKAGING}/merro-download-sync.service
              ${MERRO_PACKAGING}/merro-download-sync.timer
        DESTINATION lib/systemd/user COMPONENT tool)
install(TARGETS merro-devicesim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/sim/README.md
        DESTINATION ${MERRO_SIM_DOCDIR} COMPONENT sim)

# Debian wants a native package's changelog as changelog.gz, made with -9n:
# the best compression, and no name or time stamp, so that every build gives
# the same bytes.
find_program(MERRO_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${MERRO_PACKAGING_OUT}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${MERRO_PACKAGING}/changelog ${MERRO_PACKAGING_OUT}/changelog
    COMMAND ${MERRO_GZIP} -9nf ${MERRO_PACKAGING_OUT}/changelog
    DEPENDS ${MERRO_PACKAGING}/changelog
    VERBATIM)
add_custom_target(merro_package_docs ALL DEPENDS ${MERRO_PACKAGING_OUT}/changelog.gz)
foreach(component tool sim)
    set(docdir ${MERRO_TOOL_DOCDIR})
    if(component STREQUAL "sim")
        set(docdir ${MERRO_SIM_DOCDIR})
    endif()
    install(FILES ${MERRO_PACKAGING}/copyright ${MERRO_PACKAGING_OUT}/changelog.gz
            DESTINATION ${docdir} COMPONENT ${component})
endforeach()

# Manual pages from each program's --help, with what the help leaves out in
# packaging/<program>.h2m, where help2man is found. The tool needs a Qt
# platform even to print its help. Sanitizer trees are never packaged, and
# their programs would report leaks on the way out.
find_program(MERRO_HELP2MAN help2man)
if(MERRO_HELP2MAN AND NOT MERRO_SANITIZE AND NOT MERRO_TSAN)
    set(MERRO_MANPAGES)
    foreach(program merro-download merro-devicesim)
        set(page ${MERRO_PACKAGING_OUT}/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
                    ${MERRO_HELP2MAN} --no-info --section=1
                    --version-string=${PROJECT_VERSION}
                    --include=${MERRO_PACKAGING}/${program}.h2m
                    --output=${page} $<TARGET_FILE:${program}>
            COMMAND ${MERRO_GZIP} -9nf ${page}
            DEPENDS ${program} ${MERRO_PACKAGING}/${program}.h2m
            VERBATIM)
        list(APPEND MERRO_MANPAGES ${page}.gz)
    endforeach()
    add_custom_target(merro_manpages ALL DEPENDS ${MERRO_MANPAGES})
    install(FILES ${MERRO_PACKAGING_OUT}/merro-download.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
    install(FILES ${MERRO_PACKAGING_OUT}/merro-devicesim.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
endif()

set(CPACK_GENERATOR DEB)
# A tree built with debug information packages lean binaries all the same.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME merro-download)
set(CPACK_PACKAGE_VENDOR "merro-download")
set(CPACK_PACKAGE_CONTACT "${MERRO_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL tool sim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE merro-download)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${MERRO_HOMEPAGE}")
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
