# Where an installed Diskward puts its files (`cmake --install`, `make
# install`), and the Debian package CPack builds from the same rules
# (`make package`). Dependencies of the package are read off the built
# programs by dpkg-shlibdeps.
include(GNUInstallDirs)

# The maintainer the package and its changelog name.
set(DISKWARD_MAINTAINER "Diskward developers <developers@diskward.org>")

# Made at build time from the sources: the manual pages compressed as
# Debian wants them (gzip -9n: no name, no time, the same bytes every
# build), the changelog from CHANGELOG.md and the machine-readable copyright
# file from LICENSE.
set(DISKWARD_DOCS ${CMAKE_BINARY_DIR}/docs)
set(DISKWARD_MADE_DOCS ${DISKWARD_DOCS}/changelog.gz ${DISKWARD_DOCS}/copyright)
# Each page with its section: the commands in 1, the table formats in 5.
set(DISKWARD_PAGES diskward.1 diskward-prd.5 diskward-map.5)
if(TARGET diskward-gui)
  list(APPEND DISKWARD_PAGES diskward-gui.1)
endif()
foreach(page ${DISKWARD_PAGES})
  string(REGEX REPLACE "^.*\\." "" section ${page})
  add_custom_command(OUTPUT ${DISKWARD_DOCS}/${page}.gz
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/docs/${page} ${DISKWARD_DOCS}/${page}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/${page} VERBATIM)
  list(APPEND DISKWARD_MADE_DOCS ${DISKWARD_DOCS}/${page}.gz)
  install(FILES ${DISKWARD_DOCS}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_command(OUTPUT ${DISKWARD_DOCS}/changelog.gz
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/debian-changelog ${CMAKE_SOURCE_DIR}/CHANGELOG.md
          ${PROJECT_NAME} ${DISKWARD_MAINTAINER} ${DISKWARD_DOCS}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_SOURCE_DIR}/cmake/debian-changelog VERBATIM)
add_custom_command(OUTPUT ${DISKWARD_DOCS}/copyright
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/debian-copyright ${CMAKE_SOURCE_DIR}/LICENSE
          ${PROJECT_NAME} ${DISKWARD_DOCS}/copyright
  DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/cmake/debian-copyright VERBATIM)
file(MAKE_DIRECTORY ${DISKWARD_DOCS})
add_custom_target(diskward_docs ALL DEPENDS ${DISKWARD_MADE_DOCS})

install(TARGETS diskward RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/cli/diskward.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME diskward)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${DISKWARD_DOCS}/changelog.gz ${DISKWARD_DOCS}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(TARGET diskward-gui)
  install(TARGETS diskward-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The desktop entry opens product files, the MIME type shared-mime-info
  # knows them by, and the AppStream description software centres show.
  install(FILES ${CMAKE_SOURCE_DIR}/ui/diskward-gui.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/ui/diskward.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES ${CMAKE_SOURCE_DIR}/ui/io.github.diskward.Diskward.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
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
set(CPACK_PACKAGE_CONTACT "${DISKWARD_MAINTAINER}")
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
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mtools, dosfstools, xorriso")
include(CPack)
