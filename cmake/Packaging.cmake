# The Debian package (scripts/package.sh: cpack -G DEB in a Release build). It holds what
# `cmake --install` installs, plus the copyright file and changelog Debian's tools expect.
# Its run-time dependencies are read from the binaries by dpkg-shlibdeps.

install(FILES contrib/tessek-log.service contrib/99-tessek-adapter.rules
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Debian keeps the licence of a package in /usr/share/doc/<package>/copyright and a
# package's history in changelog.gz there (gzip -n: the same bytes on every build). Only
# the package has them (TESSEK_DEBIAN_DOCS, set by scripts/package.sh): a plain
# installation has LICENSE and README.md.
option(TESSEK_DEBIAN_DOCS "Install the copyright file and changelog a Debian package needs" OFF)
if(TESSEK_DEBIAN_DOCS)
  find_program(GZIP_EXECUTABLE gzip REQUIRED)
  set(TESSEK_DEBIAN_DATE "Sun, 06 Dec 2026 12:00:00 +0000")
  configure_file(cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
    COMMAND ${GZIP_EXECUTABLE} -9 -n -f -k ${CMAKE_BINARY_DIR}/debian/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
    COMMENT "Compressing the package's changelog")
  add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tessek developers")
set(CPACK_PACKAGE_CONTACT "The Tessek developers <tessek@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The first line is the summary; CPack indents the rest and turns empty lines into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "data logger and fault code reader for a 1987 turbo car's engine module
Tessek talks to the engine control module (LM) of a 1987 turbocharged car
over its serial diagnostic link, through a USB serial adapter.

It logs up to eight engine values live (engine speed, road speed, boost,
temperatures, throttle, knock, spark advance, O2), computes acceleration,
horsepower and torque, saves every run as text, CSV and MSL files, and
shows a live chart and a log viewer with a power curve. It reads the fault
codes and the learned fuel adaptive cells, shows them as a list and a grid,
and keeps each reading.

A simulated engine module (tessek-lmsim, and the port SIM) lets it be
tried without a car.")
