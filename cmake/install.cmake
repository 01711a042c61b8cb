# What `cmake --install` puts on a Linux desktop, and the Debian package made from it
# with `cpack -G DEB`. This is the only file with install rules: tests, benchmarks and
# the sample writer stay in the build folder.
include(GNUInstallDirs)

set(PAVO_APP_ID io.github.pavo_viewer.Pavo)
set(PAVO_DIST ${PROJECT_SOURCE_DIR}/dist)

install(TARGETS pavo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The decoders of HEIF, AVIF, JPEG XL, GIF and animated WebP, which the program finds beside itself as
# ../lib/pavo/ and loads when such a picture is first decoded.
install(TARGETS pavo_formats LIBRARY DESTINATION lib/pavo)
# The update check's fetch (libcurl), loaded the same way at the first fetch.
install(TARGETS pavo_fetch LIBRARY DESTINATION lib/pavo)

# The menu entry (its Exec line opens the files a desktop hands it) and the software
# centre's description.
install(FILES ${PAVO_DIST}/${PAVO_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${PAVO_DIST}/${PAVO_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# The icon: the SVG for any size, and renders for the sizes panels and menus ask for
# most (scripts/make-icons.sh makes them).
install(FILES ${PAVO_DIST}/icons/${PAVO_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PAVO_DIST}/icons/${size}x${size}/${PAVO_APP_ID}.png
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The licence, where Debian's policy wants every package's.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE RENAME copyright
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/pavo)

# The manual page, compressed as Debian's policy asks (-n: no name or time stamp, so
# the package is the same from build to build); plain when gzip is missing.
find_program(PAVO_GZIP gzip)
if(PAVO_GZIP)
  # A copy is compressed in place, which needs no shell redirection.
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/pavo.1.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PAVO_DIST}/pavo.1 ${PROJECT_BINARY_DIR}/pavo.1
    COMMAND ${PAVO_GZIP} -9 -n -f ${PROJECT_BINARY_DIR}/pavo.1
    DEPENDS ${PAVO_DIST}/pavo.1
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(pavo_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/pavo.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/pavo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${PAVO_DIST}/pavo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pavo)
set(CPACK_PACKAGE_VENDOR "Pavo developers")
set(CPACK_PACKAGE_CONTACT "Pavo developers <pavo@pavo.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fast single-window image viewer")
set(CPACK_PACKAGE_DESCRIPTION "Pavo opens an image in a window sized to it and makes the other images of its
folder a playlist in natural name order. The next and previous images are
decoded ahead of time, so stepping through a folder is instant. It reads PNG,
JPEG, WebP, BMP, TIFF, Netpbm (PBM, PGM, PPM, PNM), HEIF/HEIC, AVIF, JPEG XL and GIF files, and
JPS and MPO stereo files, with their colours converted to the monitor's profile.")
set(CPACK_DEBIAN_PACKAGE_NAME pavo)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pavo developers <pavo@pavo.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pavo.invalid/pavo")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies are what dpkg-shlibdeps finds the program linked against; Qt's X11
# platform plugin comes with libqt6gui6 and the images are decoded by OpenCV. OpenCV's
# image codecs are loaded at run time, out of dpkg-shlibdeps' sight: the package that
# owns the library Pavo loads is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
execute_process(COMMAND dpkg-query --search "${PAVO_IMAGE_CODECS_FOLDER}/${PAVO_IMAGE_CODECS_LIBRARY}"
  OUTPUT_VARIABLE codecs_owner ERROR_QUIET RESULT_VARIABLE codecs_query)
if(codecs_query EQUAL 0 AND codecs_owner MATCHES "^([^:,]+)")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
else()
  message(WARNING "no package owns ${PAVO_IMAGE_CODECS_LIBRARY}: a .deb made here will not "
                  "depend on OpenCV's image codecs")
endif()
# Only for a desktop without XWayland: with an X display Pavo always uses X11.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS qt6-wayland)
# The CMYK profile for CMYK JPEGs that carry none (without it they keep the plain formula).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libgs-common)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
