# What an install lays out beyond the targets' own rules (a CMake package for
# find_package(docseek), the manual page), and the Debian package of it all.
include(CMakePackageConfigHelpers)

set(DOCSEEK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/docseek)
# The plug-in by its soname, the file a loader looks for.
set(DOCSEEK_PLUGIN_FILE ${CMAKE_INSTALL_LIBDIR}/libdocseek.so.${PROJECT_VERSION_MAJOR})
# Paths relative to the config file, so the package works wherever it is installed.
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/docseekConfig.cmake.in
  ${CMAKE_BINARY_DIR}/docseekConfig.cmake
  INSTALL_DESTINATION ${DOCSEEK_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR DOCSEEK_PLUGIN_FILE)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/docseekConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/docseekConfig.cmake ${CMAKE_BINARY_DIR}/docseekConfigVersion.cmake
        DESTINATION ${DOCSEEK_CMAKE_DIR})

# Compressed as Debian keeps manual pages; -n leaves the time out, so the
# bytes depend on the page alone.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/man/docseek.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/docseek.1 > ${CMAKE_BINARY_DIR}/man/docseek.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/docseek.1
  VERBATIM)
add_custom_target(docseek_man ALL DEPENDS ${CMAKE_BINARY_DIR}/man/docseek.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/man/docseek.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# cpack -G DEB: one package with everything installed (plug-in, GTK view
# module when built, header, .pc, CMake package, CLI, engine, manual page).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME docseek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "docseek developers <docseek@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search the web for documents by type")
set(CPACK_PACKAGE_DESCRIPTION
    "A search plug-in (libdocseek.so) that a host loads with dlopen, the docseek command-line host, and docseek-engine, a loopback stand-in for the search engine.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Depends from the libraries the binaries link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
