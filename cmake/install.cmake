# Where an installed Diskward puts its files (`cmake --install`, `make
# install`), and the Debian package CPack builds from the same rules
# (`make package`). Dependencies of the package are read off the built
# programs by dpkg-shlibdeps.
include(GNUInstallDirs)

install(TARGETS diskward RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/diskward.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/cli/diskward.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME diskward)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(TARGET diskward-gui)
  install(TARGETS diskward-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/docs/diskward-gui.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/ui/diskward-gui.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 32 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/ui/icons/diskward-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME diskward.png)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/ui/icons/diskward.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME diskward)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Diskward developers <diskward@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "check installer staging areas, lay products out on floppy disks and write them")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Diskward checks the staging area of a software installer kit against its\ntables (sizes, missing and superfluous files), assigns a product's files to\nfloppy disks with compression and splitting, writes the disks as FAT images\nor onto floppy devices, and replicates a staging area to another tree.\nIt has a console command, diskward, and a window, diskward-gui.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mtools, dosfstools")
include(CPack)
