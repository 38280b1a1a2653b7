# Install rules and the Debian package. Everything the program needs at run time belongs
# to the component "veska"; the package holds that component only, so nothing else of the
# build (tests, benchmarks, static libraries) can end up in it.
#
#   cmake --build build --target veska veska-meter-sim
#   cmake --install build --prefix /usr            # or DESTDIR=... for a scratch root
#   (cd build && cpack -G DEB)                     # build/veska_<version>_<arch>.deb
#
# Installing and packaging build only what they install (the two programs bring the
# manual pages and the changelog along), never the tests and benchmarks of "all".
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

include(GNUInstallDirs)

set(VESKA_APP_ID "io.github.veska.Veska")
set(VESKA_MAINTAINER "Veska developers <veska@example.org>" CACHE STRING "Maintainer of the Debian package")

find_program(SCDOC_EXECUTABLE scdoc)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
if(NOT SCDOC_EXECUTABLE)
  message(WARNING "scdoc not found: no manual pages will be installed (apt-get install scdoc)")
endif()

# Debian wants 0755 directories whatever the umask of whoever installs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(veska_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(veska_gen ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${veska_gen})

# gzip -9n: no name or time stamp inside, so the package builds the same every time.
function(veska_gzip out in)
  add_custom_command(OUTPUT ${out}
                     COMMAND sh -c "\"$0\" -9nc < \"$1\" > \"$2\"" ${GZIP_EXECUTABLE} ${in} ${out}
                     DEPENDS ${in} VERBATIM)
endfunction()

# Manual pages, from scdoc sources; scdoc takes its date from SOURCE_DATE_EPOCH when set.
set(veska_man_pages)
if(SCDOC_EXECUTABLE)
  set(veska_man_pages veska veska-meter-sim)
endif()
set(veska_generated)
foreach(page IN LISTS veska_man_pages)
  set(src ${veska_pkg}/man/${page}.1.scd)
  set(roff ${veska_gen}/${page}.1)
  add_custom_command(OUTPUT ${roff}
                     COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${SCDOC_EXECUTABLE} ${src} ${roff}
                     DEPENDS ${src} VERBATIM)
  veska_gzip(${roff}.gz ${roff})
  list(APPEND veska_generated ${roff}.gz)
endforeach()
veska_gzip(${veska_gen}/changelog.gz ${veska_pkg}/debian/changelog)
list(APPEND veska_generated ${veska_gen}/changelog.gz)
# Built with the program, so an install never lacks them.
add_custom_target(veska-docs DEPENDS ${veska_generated})
add_dependencies(veska veska-docs)

install(TARGETS veska veska-meter-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT veska)
# Not for users to run: veska starts it for the window and the printed report.
install(TARGETS veska-window RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/veska COMPONENT veska)

# udev and systemd read lib/ below the prefix, never the multiarch library folder.
install(FILES ${veska_pkg}/udev/70-veska-usb-serial.rules
        DESTINATION lib/udev/rules.d COMPONENT veska)
# The logging service names the installed program, so its units are written at install
# time, when the prefix is known for sure (cmake --install --prefix, cpack).
install(CODE "
  set(VESKA_BINARY \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/veska\")
  foreach(scope system user)
    set(unit \"${veska_gen}/systemd/\${scope}/veska-logger@.service\")
    configure_file(\"${veska_pkg}/systemd/\${scope}/veska-logger@.service.in\" \"\${unit}\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/\${scope}\" TYPE FILE
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES \"\${unit}\")
  endforeach()
" COMPONENT veska)

install(FILES ${veska_pkg}/desktop/${VESKA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT veska)
install(FILES ${veska_pkg}/desktop/${VESKA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT veska)
install(FILES ${veska_pkg}/icons/veska.svg RENAME ${VESKA_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT veska)
foreach(size 48 256)
  install(FILES ${veska_pkg}/icons/veska-${size}.png RENAME ${VESKA_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT veska)
endforeach()

foreach(page IN LISTS veska_man_pages)
  install(FILES ${veska_gen}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT veska)
endforeach()

set(veska_docdir ${CMAKE_INSTALL_DATADIR}/doc/veska)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${veska_pkg}/debian/copyright
              ${veska_gen}/changelog.gz
        DESTINATION ${veska_docdir} COMPONENT veska)

# --- Debian package ---
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veska)
set(CPACK_PACKAGE_VENDOR "The Veska developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data logger for handheld digital multimeters")
set(CPACK_PACKAGE_DESCRIPTION
    "Veska reads a handheld digital multimeter over its optical cable, an RS-232\n"
    "plug or a USB-to-serial bridge, and shows every reading at once: a replica of\n"
    "the meter's LCD, an analog gauge, a bar, two alarm limits with running maximum\n"
    "and minimum, and a paged strip chart. It records readings into a table without\n"
    "losing a row, and opens, saves and prints record files.\n"
    ".\n"
    "A headless mode and the veska-logger@ systemd service log a meter unattended.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "${VESKA_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Install with the package's own prefix (and a staging DESTDIR), so the service units name
# /usr/bin/veska.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
# Only the run-time component, whatever else the build tree could install.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};veska;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VESKA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/veska/veska")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's fonts; the program still runs without them. fonts-mona draws the full-width
# question mark of the exit question, which no other font here has; the libraries found by
# shlibdeps are added to this list.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
# pxlib is loaded when a Paradox table is first read (dlopen), where dpkg-shlibdeps cannot
# see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-mona, pxlib1 (>= 0.6.8)")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${veska_pkg}/debian/postinst ${veska_pkg}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
