# Debian packages through CPack, one package per install component. A part of the tree that
# ships a package declares it with sondrel_add_package() and installs its files with that
# COMPONENT; sondrel_finish_packaging(), at the end of the top-level CMakeLists.txt, turns the
# declarations into CPack settings. Dependencies on other packages come from the binaries
# (dpkg-shlibdeps), plus the DEPENDS given here for what a program loads at run time.
#
#   cmake --build build --target package      # or: cd build && cpack
#
# sondrel_add_package(<component> NAME <package> SECTION <section> SUMMARY <line>
#                     DESCRIPTION <text> [DEPENDS <components...>]
#                     [PACKAGE_DEPENDS <packages...>] [RECOMMENDS <packages...>]
#                     [SUGGESTS <packages...>] [CONTROL_EXTRA <files...>])
#   DEPENDS names components of this project whose packages of the same version this one needs;
#   PACKAGE_DEPENDS other Debian packages it needs beyond those its binaries link (for example
#   the programs its maintainer scripts run). CONTROL_EXTRA gives the maintainer scripts
#   (postinst, prerm, postrm) and the conffiles list, by their file names.
#   The texts must not contain semicolons (CMake would split them).
set(SONDREL_PACKAGE_FIELDS
    NAME SECTION SUMMARY DESCRIPTION DEPENDS PACKAGE_DEPENDS RECOMMENDS SUGGESTS CONTROL_EXTRA)
function(sondrel_add_package component)
  cmake_parse_arguments(arg "" "NAME;SECTION;SUMMARY;DESCRIPTION"
                        "DEPENDS;PACKAGE_DEPENDS;RECOMMENDS;SUGGESTS;CONTROL_EXTRA" ${ARGN})
  string(TOUPPER ${component} upper)
  set_property(GLOBAL APPEND PROPERTY SONDREL_PACKAGE_COMPONENTS ${component})
  foreach(field IN LISTS SONDREL_PACKAGE_FIELDS)
    set_property(GLOBAL PROPERTY SONDREL_PACKAGE_${upper}_${field} "${arg_${field}}")
  endforeach()
endfunction()

sondrel_add_package(runtime NAME libsondrel${PROJECT_VERSION_MAJOR} SECTION libs
  SUMMARY "remote scanning client library for host security products"
  DESCRIPTION "A host security product loads libsondrel in place of its local scanning engine. \
The library has remote scan servers scan the files and hands back their verdicts. This package \
holds the shared library with its response cache, and the two monitor companions that a host \
puts beside its own executable."
  CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/runtime/prerm)
sondrel_add_package(development NAME libsondrel-dev SECTION libdevel DEPENDS runtime
  SUMMARY "remote scanning client library for host security products (development files)"
  DESCRIPTION "The header, the pkg-config file and the CMake package for building hosts \
against libsondrel.")
sondrel_add_package(tools NAME sondrel-tools SECTION utils DEPENDS runtime
  SUGGESTS sondrel-server
  SUMMARY "command-line tools for Sondrel scan clients"
  DESCRIPTION "sondrel-scan scans files through libsondrel on the configured scan servers, or \
on a private sondrel-server it starts when none is configured. sondrel-probe checks the scan \
servers and reports their state.")
if(SONDREL_SERVER)
  set(server_package_files postinst prerm postrm conffiles)
  list(TRANSFORM server_package_files PREPEND ${PROJECT_BINARY_DIR}/packaging/server/)
  sondrel_add_package(server NAME sondrel-server SECTION net
    PACKAGE_DEPENDS adduser RECOMMENDS clamav-freshclam
    CONTROL_EXTRA ${server_package_files}
    SUMMARY "scan server for Sondrel clients, on libclamav"
    DESCRIPTION "sondrel-server speaks the Sondrel protocol over TCP or TLS, scans the files \
its clients describe with libclamav and the signature databases it is given, and pulls from \
each client only the parts of a file the engine reads. It runs as a systemd service under a \
user of its own, configured in /etc/sondrel/server.ini. The ClamAV databases come from \
clamav-freshclam.")
endif()

set(SONDREL_PACKAGE_MAINTAINER "Sondrel developers <sondrel@localhost>"
    CACHE STRING "The Maintainer field of the Debian packages")

function(sondrel_finish_packaging)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME sondrel)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR "Sondrel")
  set(CPACK_PACKAGE_CONTACT "${SONDREL_PACKAGE_MAINTAINER}")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_STRIP_FILES ON)
  get_property(components GLOBAL PROPERTY SONDREL_PACKAGE_COMPONENTS)
  set(CPACK_COMPONENTS_ALL ${components})
  foreach(component IN LISTS components)
    string(TOUPPER ${component} upper)
    foreach(field IN LISTS SONDREL_PACKAGE_FIELDS)
      get_property(${field} GLOBAL PROPERTY SONDREL_PACKAGE_${upper}_${field})
    endforeach()
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${NAME})
    set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${SECTION})
    set(CPACK_COMPONENT_${upper}_DESCRIPTION "${SUMMARY}\n${DESCRIPTION}")
    set(CPACK_COMPONENT_${upper}_DEPENDS ${DEPENDS})
    # Merged with what dpkg-shlibdeps finds.
    list(JOIN PACKAGE_DEPENDS ", " CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS)
    list(JOIN RECOMMENDS ", " CPACK_DEBIAN_${upper}_PACKAGE_RECOMMENDS)
    list(JOIN SUGGESTS ", " CPACK_DEBIAN_${upper}_PACKAGE_SUGGESTS)
    set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA ${CONTROL_EXTRA})
  endforeach()
  # Maintainer scripts executable, the conffiles list not, whatever the build tree's modes.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # A package with a versioned library (the runtime package) tells other packages'
  # dpkg-shlibdeps that it provides the SONAME.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  include(CPack)
endfunction()
