# What `cmake --install` puts where, and the Debian package made from it
# (`cpack -G DEB` in the build folder). Nothing installed needs root at run
# time: serial access comes from the dialout group (see README).
include(GNUInstallDirs)

set(PUPDATE_DATA_DIR ${CMAKE_INSTALL_DATADIR}/pelluxupdate)
set(PUPDATE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/pelluxupdate)

foreach(program PelluxUpdateV3 FlashLoader pupdate-server pupdate-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/maps/ DESTINATION ${PUPDATE_DATA_DIR}/maps
        FILES_MATCHING PATTERN "*.map")
# Trusted publisher keys (*.pem) go here, or in /etc/pelluxupdate/keys.
install(DIRECTORY DESTINATION ${PUPDATE_DATA_DIR}/keys)
install(FILES ${PROJECT_SOURCE_DIR}/server/nginx.conf
              ${PROJECT_SOURCE_DIR}/resources/udev/60-pelluxupdate-serial.rules
        DESTINATION ${PUPDATE_DOC_DIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${PUPDATE_DOC_DIR})

if(PUPDATE_BUILD_UI)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/pelluxupdate.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/pelluxupdate.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Man pages, compressed as Debian ships them (-n: no time stamp inside).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(PUPDATE_MAN_PAGES PelluxUpdateV3.1 FlashLoader.1 pupdate-server.1 pupdate-sim.1)
set(PUPDATE_COMPRESSED_MAN_PAGES)
foreach(page ${PUPDATE_MAN_PAGES})
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
  set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${source} > ${compressed}
    DEPENDS ${source})
  list(APPEND PUPDATE_COMPRESSED_MAN_PAGES ${compressed})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${PUPDATE_COMPRESSED_MAN_PAGES})
install(FILES ${PUPDATE_COMPRESSED_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(PUPDATE_PACKAGE_MAINTAINER "PelluxUpdate maintainers <maintainers@pelluxupdate.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelluxupdate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_CONTACT ${PUPDATE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Firmware and settings updater for sign-making machines")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Updates the electronics of a sign-making machine over a serial port:\n\
the control board's STM32 firmware through its ROM bootloader, its FPGA\n\
image, the machine PC application, and servo and step drive settings.\n\
Includes the flash loader, a reference update server and a virtual\n\
machine for trying updates without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The runtime libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
