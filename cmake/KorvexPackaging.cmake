# Installation layout and the Debian package (make package).
#
#   <prefix>/bin/                      korvex, korvex-cli, korvex-devsim
#   <prefix>/share/korvex/             language folders and Help.pdf (the
#                                      programs look there when installed)
#   <prefix>/share/applications/       desktop entry
#   <prefix>/share/metainfo/           AppStream metainfo
#   <prefix>/share/mime/packages/      the project file type (*.kvx)
#   <prefix>/share/icons/hicolor/      program icon, 16 to 256 pixels and SVG
#   <prefix>/share/man/man1/           manual pages made from each --help
#   <prefix>/share/bash-completion/    completion for korvex-cli
#   <prefix>/share/doc/korvex/         copyright and changelog
include(GNUInstallDirs)

set(KORVEX_APP_ID com.example.korvex)
set(KORVEX_MAINTAINER "Korvex developers <developers@korvex.example.com>")
set(_pkg ${CMAKE_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_BINARY_DIR}/packaging)
set(_share ${CMAKE_INSTALL_DATADIR})

# `make install` and CPack install what the packaging target built; they do
# not build every test and benchmark first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(_programs)
foreach(t korvex korvex-cli korvex-devsim)
  if(TARGET ${t})
    list(APPEND _programs ${t})
  endif()
endforeach()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/lang/ DESTINATION ${_share}/korvex
        FILES_MATCHING PATTERN "*.mui")
if(TARGET korvex_help)
  install(FILES ${KORVEX_BIN_DIR}/Help.pdf DESTINATION ${_share}/korvex)
endif()

install(FILES ${_pkg}/${KORVEX_APP_ID}.desktop DESTINATION ${_share}/applications)
configure_file(${_pkg}/${KORVEX_APP_ID}.metainfo.xml.in ${_gen}/${KORVEX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${_gen}/${KORVEX_APP_ID}.metainfo.xml DESTINATION ${_share}/metainfo)
install(FILES ${_pkg}/${KORVEX_APP_ID}.mime.xml DESTINATION ${_share}/mime/packages
        RENAME ${KORVEX_APP_ID}.xml)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${_pkg}/icons/${size}.png DESTINATION ${_share}/icons/hicolor/${size}x${size}/apps
          RENAME ${KORVEX_APP_ID}.png)
endforeach()
install(FILES ${_pkg}/icons/korvex.svg DESTINATION ${_share}/icons/hicolor/scalable/apps
        RENAME ${KORVEX_APP_ID}.svg)
install(FILES ${_pkg}/completion/korvex-cli DESTINATION ${_share}/bash-completion/completions)

# Manual pages: the hand-written frame in packaging/man/<program>.1.in with
# the program's own --help (and, for korvex-cli, each command's --help) set
# into it, so the pages never drift from the programs.
set(_man_pages)
foreach(t ${_programs})
  set(_out ${_gen}/man/${t}.1.gz)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${t}> -DTEMPLATE=${_pkg}/man/${t}.1.in
            -DOUTPUT=${_gen}/man/${t}.1 -DVERSION=${PROJECT_VERSION}
            -P ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${t} ${_pkg}/man/${t}.1.in ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Writing the manual page of ${t}"
    VERBATIM)
  list(APPEND _man_pages ${_out})
  install(FILES ${_out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# Debian wants the changelog compressed without a time stamp.
configure_file(${_pkg}/debian/changelog.in ${_gen}/changelog @ONLY)
add_custom_command(OUTPUT ${_gen}/changelog.gz
  COMMAND gzip -9nf -k ${_gen}/changelog
  DEPENDS ${_gen}/changelog
  VERBATIM)
install(FILES ${_gen}/changelog.gz ${_pkg}/debian/copyright DESTINATION ${_share}/doc/korvex)

# Everything the package holds; `make package` builds this, then runs CPack.
add_custom_target(korvex_package_files DEPENDS ${_man_pages} ${_gen}/changelog.gz)
foreach(t ${_programs} korvex_languages korvex_help)
  if(TARGET ${t})
    add_dependencies(korvex_package_files ${t})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VENDOR "Korvex developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KORVEX_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://korvex.example.com/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVEX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from the programs themselves; Qt's platform
# plugins are loaded at run time, so no library names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"set up and watch networked video detection devices
Korvex draws detectors on the camera pictures of a video detection device,
writes its Boolean output expressions, saves the project files the device
runs, finds devices by their announcements on the local network, shows their
live pictures and manages them over SSH.
.
The package holds the Korvex window, korvex-cli (the same operations for
scripts and for fleets of devices) and korvex-devsim, a device simulator.")
include(CPack)
