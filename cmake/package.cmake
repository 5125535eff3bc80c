# Installation and the Debian package: `cpack -G DEB` in the build folder.
# The program finds its data through ORVEL_DATA_FROM_BIN, so the tree below works
# wherever it is unpacked, not only under /usr.

set(ORVEL_APP_ID org.orvel.Workbench)  # the bus name; also the desktop and AppStream id
set(ORVEL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/orvel)
set(ORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/orvel)
set(ORVEL_MAINTAINER "Orvel maintainers <maintainers@${ORVEL_SITE}>" CACHE STRING
    "Maintainer field of the Debian package")
set(pkg ${CMAKE_SOURCE_DIR}/packaging)
set(gen ${CMAKE_BINARY_DIR}/packaging)

# Files made at build time: the manual page and changelog compressed as Debian
# wants them (-n: no time stamp, so rebuilds give the same bytes), the metadata
# with the site and version filled in, and the icon at the sizes menus ask for.
configure_file(${pkg}/orvel.1.in ${gen}/orvel.1 @ONLY)
configure_file(${pkg}/${ORVEL_APP_ID}.metainfo.xml.in ${gen}/${ORVEL_APP_ID}.metainfo.xml @ONLY)
set(made ${gen}/orvel.1.gz ${gen}/changelog.gz)
add_custom_command(OUTPUT ${gen}/orvel.1.gz
  COMMAND gzip -9n -c ${gen}/orvel.1 > ${gen}/orvel.1.gz
  DEPENDS ${gen}/orvel.1)
add_custom_command(OUTPUT ${gen}/changelog.gz
  COMMAND gzip -9n -c ${pkg}/changelog > ${gen}/changelog.gz
  DEPENDS ${pkg}/changelog)

set(ORVEL_ICON_SIZES 16 24 32 48 64 128 256)
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  foreach(size ${ORVEL_ICON_SIZES})
    set(png ${gen}/icons/${size}x${size}/${ORVEL_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${pkg}/${ORVEL_APP_ID}.svg
      DEPENDS ${pkg}/${ORVEL_APP_ID}.svg)
    list(APPEND made ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: the package gets the scalable icon only")
endif()
add_custom_target(orvel_package_files ALL DEPENDS ${made})

install(TARGETS orvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/lib/ DESTINATION ${ORVEL_DATA_DIR}/lib)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${ORVEL_DATA_DIR}/examples)
# The README's links and pictures point into docs/, so both go to one folder.
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${ORVEL_DATA_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${ORVEL_DATA_DIR}/docs)

install(FILES ${pkg}/${ORVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${gen}/${ORVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${pkg}/${ORVEL_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${gen}/orvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkg}/copyright ${gen}/changelog.gz DESTINATION ${ORVEL_DOC_DIR})

# The activation file names the installed executable, whose prefix is known only at
# install time (cpack installs under /usr, a plain install under /usr/local).
install(CODE "
  set(exe \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/orvel\")
  if(IS_ABSOLUTE \"${CMAKE_INSTALL_BINDIR}\")
    set(exe \"${CMAKE_INSTALL_BINDIR}/orvel\")
  endif()
  set(service \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/dbus-1/services/${ORVEL_APP_ID}.service\")
  message(STATUS \"Installing: \${service}\")
  file(WRITE \"\${service}\" \"[D-BUS Service]\\nName=${ORVEL_APP_ID}\\nExec=\${exe} /AUTOMATION\\n\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvel)
set(CPACK_PACKAGE_VENDOR "Orvel developers")
set(CPACK_PACKAGE_CONTACT "${ORVEL_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "script workbench whose JavaScript builds its own windows")
set(CPACK_PACKAGE_DESCRIPTION
  "Orvel is a desktop workbench for JavaScript files. A run expands the main\n"
  "file's include directives and runs it in an embedded SpiderMonkey engine\n"
  "with three host objects: sys (log, status bar, MD5 digests, log files),\n"
  "main (forms and controls that the script creates and drives by name) and\n"
  "inet (HTTP fetches and headers). The windows a script built keep working\n"
  "until Stop. Other programs drive the same objects over D-Bus, and scripts\n"
  "also run headless from the command line.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${ORVEL_SITE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The HTTP client library is loaded at the first HTTP call, so the linked libraries do
# not show it; the newest calls the program uses came with 7.68.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.68.0)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

# The test command builds the package from this tree and checks it.
add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check.sh
  ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set_tests_properties(package PROPERTIES TIMEOUT 240)
