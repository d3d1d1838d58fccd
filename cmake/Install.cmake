# What `cmake --install` puts where, by component (each component is one Debian package, see
# Packaging.cmake):
#   runtime      libsondrel.so.<version> and its SONAME link, with the response cache Merrin.so,
#                in one private directory, <libdir>/sondrel: the library loads Merrin.so from its
#                own directory. The monitor companions Kalvix.so and ostrel.so, which the library
#                looks for beside the host executable, wait in <libdir>/sondrel/companions for a
#                host to copy or link them beside its own executable (beside the tools they would
#                change how the tools are configured). The response cache's directory.
#   development  the header, the libsondrel.so link, sondrel.pc and the CMake package
#   tools        sondrel-scan and sondrel-probe, which live in the private directory as hosts
#                beside the library (with a Logger.xml that keeps them from writing log files
#                there) and are linked from <bindir>; their man pages
#   server       sondrel-server in <sbindir>, linked from the private directory (where
#                sondrel-scan looks for the server it starts), its bundled signatures in
#                <datadir>/sondrel/signatures (where it looks for them), the example configuration,
#                the systemd unit and the man page
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SONDREL_INSTALL_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR}/sondrel)
set(SONDREL_INSTALL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Sondrel)
set(SONDREL_INSTALL_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(SONDREL_INSTALL_MONITOR_DIR ${SONDREL_INSTALL_LIBRARY_DIR}/companions)
# Merrin.so's default cache directory (the common application data folder, then sondrel/cache).
set(SONDREL_CACHE_DIR /var/lib/sondrel/cache)

# sondrel_prefix_relative(<variable> <absolute path>): the path relative to the prefix. Files the
# Debian layout keeps outside /usr (configuration in /etc, state in /var) are installed at such
# paths, so that an install into a staging prefix <stage>/usr puts them into <stage>/etc and
# <stage>/var, and a package built with the prefix /usr puts them into /etc and /var.
function(sondrel_prefix_relative variable path)
  file(RELATIVE_PATH relative ${CMAKE_INSTALL_PREFIX} ${path})
  set(${variable} ${relative} PARENT_SCOPE)
endfunction()

# sondrel_install_link(<directory> <name> <target> <component>): a relative symbolic link
# <directory>/<name> to <target>, both paths relative to the prefix.
function(sondrel_install_link directory name target component)
  file(RELATIVE_PATH relative /${directory} /${target})
  set(link ${PROJECT_BINARY_DIR}/install-links/${component}/${name})
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install-links/${component})
  file(CREATE_LINK ${relative} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION ${directory} COMPONENT ${component})
endfunction()

# sondrel_configure_package_file(<source.in> <output> [EXECUTABLE]): a file of the packaging
# directory with the install paths filled in, written under <build>/packaging.
function(sondrel_configure_package_file source output)
  cmake_parse_arguments(arg "EXECUTABLE" "" "" ${ARGN})
  set(permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  if(arg_EXECUTABLE)
    list(APPEND permissions OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${source} ${PROJECT_BINARY_DIR}/packaging/${output}
                 @ONLY FILE_PERMISSIONS ${permissions})
endfunction()

# The companion libraries installed beside libsondrel: one entry per companion target.
set(SONDREL_COMPANION_TARGETS merrin_module)
# The companion libraries a host puts beside its executable: one entry per companion target.
set(SONDREL_MONITOR_TARGETS kalvix_module ostrel_module)
# The programs installed beside libsondrel and linked from <bindir>: one entry per target.
set(SONDREL_TOOL_TARGETS sondrel-scan sondrel-probe)

install(TARGETS sondrel
        LIBRARY DESTINATION ${SONDREL_INSTALL_LIBRARY_DIR}
                COMPONENT runtime NAMELINK_COMPONENT development)
install(TARGETS ${SONDREL_COMPANION_TARGETS}
        LIBRARY DESTINATION ${SONDREL_INSTALL_LIBRARY_DIR} COMPONENT runtime)
install(TARGETS ${SONDREL_MONITOR_TARGETS}
        LIBRARY DESTINATION ${SONDREL_INSTALL_MONITOR_DIR} COMPONENT runtime)
# The cache directory belongs to the package (root's, mode 0755, as Merrin.so would make it);
# its entries go when the package is removed.
sondrel_prefix_relative(cache_dir ${SONDREL_CACHE_DIR})
install(DIRECTORY DESTINATION ${cache_dir} COMPONENT runtime)
sondrel_configure_package_file(runtime/prerm.in runtime/prerm EXECUTABLE)
install(FILES ${PROJECT_SOURCE_DIR}/include/sondrel/sondrel.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sondrel COMPONENT development)

# sondrel_install_tool(<target>): the program beside the library, a relative link to it in
# <bindir> (the program finds its directory through the link's target) and its man page.
function(sondrel_install_tool target)
  install(TARGETS ${target} RUNTIME DESTINATION ${SONDREL_INSTALL_LIBRARY_DIR} COMPONENT tools)
  sondrel_install_link(${CMAKE_INSTALL_BINDIR} ${target} ${SONDREL_INSTALL_LIBRARY_DIR}/${target}
                       tools)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/man/${target}.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endfunction()
foreach(tool IN LISTS SONDREL_TOOL_TARGETS)
  sondrel_install_tool(${tool})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tools/Logger.xml
        DESTINATION ${SONDREL_INSTALL_LIBRARY_DIR} COMPONENT tools)

# sondrel.pc names the prefix the files are installed under (written at install time, so that
# `cmake --install --prefix` gets its own; spaces escaped as pkg-config wants them); the CMake
# package finds the prefix from its own place.
install(CODE "
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  string(REPLACE \" \" \"\\\\ \" SONDREL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(SONDREL_INSTALL_LIBRARY_DIR \"${SONDREL_INSTALL_LIBRARY_DIR}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/sondrel.pc.in\" \"${PROJECT_BINARY_DIR}/sondrel.pc\"
                 @ONLY)" COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/sondrel.pc
        DESTINATION ${SONDREL_INSTALL_PKGCONFIG_DIR} COMPONENT development)

get_target_property(SONDREL_SOVERSION sondrel SOVERSION)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/SondrelConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/SondrelConfig.cmake
                              INSTALL_DESTINATION ${SONDREL_INSTALL_CMAKE_DIR}
                              PATH_VARS CMAKE_INSTALL_INCLUDEDIR SONDREL_INSTALL_LIBRARY_DIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/SondrelConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/SondrelConfig.cmake
              ${PROJECT_BINARY_DIR}/SondrelConfigVersion.cmake
        DESTINATION ${SONDREL_INSTALL_CMAKE_DIR} COMPONENT development)

# The scan server, its configuration and its service.
if(TARGET sondrel-server)
  set(SONDREL_SERVER_USER sondrel-server)
  set(SONDREL_SERVER_CONFIG_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/sondrel)
  set(SONDREL_SERVER_CONFIG ${SONDREL_SERVER_CONFIG_DIR}/server.ini)
  install(TARGETS sondrel-server RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT server)
  # sondrel-scan starts the sondrel-server beside it; through the link the server's own path is
  # still <sbindir>, from which it finds its signatures.
  sondrel_install_link(${SONDREL_INSTALL_LIBRARY_DIR} sondrel-server
                       ${CMAKE_INSTALL_SBINDIR}/sondrel-server server)
  get_directory_property(signatures DIRECTORY server DEFINITION SONDREL_SERVER_SIGNATURES)
  list(TRANSFORM signatures PREPEND ${PROJECT_SOURCE_DIR}/server/signatures/)
  install(FILES ${signatures} DESTINATION ${CMAKE_INSTALL_DATADIR}/sondrel/signatures
          COMPONENT server)
  sondrel_prefix_relative(config_dir ${SONDREL_SERVER_CONFIG_DIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/server/server.ini DESTINATION ${config_dir}
          COMPONENT server)
  sondrel_configure_package_file(server/sondrel-server.service.in server/sondrel-server.service)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/server/sondrel-server.service
          DESTINATION lib/systemd/system COMPONENT server)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/man/sondrel-server.8
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT server)
  foreach(script postinst prerm postrm)
    sondrel_configure_package_file(server/${script}.in server/${script} EXECUTABLE)
  endforeach()
  sondrel_configure_package_file(server/conffiles.in server/conffiles)
endif()
