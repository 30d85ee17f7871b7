# SPDX-License-Identifier: BSD-2-Clause
# What `cmake --install` puts where on Linux, and the Debian package CPack makes of it
# (./run package). The package's dependencies are worked out from the binaries by
# dpkg-shlibdeps, not kept by hand.
include(GNUInstallDirs)
# ./run package builds what is installed and no more (not the tests).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS tarnex tarnex-sim tarnex-log RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# tarnex-log's metrics module, private to it: found from the program's own folder (a
# folder below lib/tarnex, as a module needs no ldconfig).
install(TARGETS tarnex_metrics LIBRARY DESTINATION lib/tarnex/modules)
install(FILES res/desktop/net.tarnex.Tarnex.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES res/desktop/net.tarnex.Tarnex.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES res/icons/tarnex-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tarnex.png)
endforeach()

# Manual pages and the changelog go compressed, as Debian wants them (gzip -n: no name or
# time in the header, so that the package is the same at every build).
set(compressed)
foreach(page tarnex.1 tarnex-sim.1 tarnex-log.1)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
                     COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/docs/man/${page}
                             > ${PROJECT_BINARY_DIR}/man/${page}.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page})
  list(APPEND compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
                   COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/docs/debian/changelog
                           > ${PROJECT_BINARY_DIR}/changelog.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/docs/debian/changelog)
add_custom_target(compressed_docs ALL DEPENDS ${compressed} ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz docs/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnex)
install(FILES docs/tarnex-log@.service DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnex/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tarnex developers <developers@tarnex.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "remote front panel for GPS receivers of the Morwick family")
# The summary is the first line; CPack indents each line of this below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarnex shows the 4 x 40 display of a GPS receiver of the Morwick family on a
serial port, with buttons and keyboard keys for the receiver's keys. It
identifies the receiver, switches the line to its settings, reconnects by
itself when the receiver is lost, and logs position, observation and
correction packets and NMEA sentences to dump files.

tarnex-log logs without a window, as a service for a base station, and
checks why a port does not work; tarnex-sim simulates a receiver on a
pseudo-terminal. Receivers behind ser2net are reached through RFC 2217.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tarnex.net/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ser2net")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
