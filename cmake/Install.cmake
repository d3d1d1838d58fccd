# What `cmake --install` puts where, by component (each component is one Debian package, see
# Packaging.cmake):
#   runtime      libsondrel.so.<version> and its SONAME link, with the companion libraries, in
#                one private directory, <libdir>/sondrel: the library loads its response cache
#                (Merrin.so) from its own directory
#   development  the header, the libsondrel.so link, sondrel.pc and the CMake package
#   tools        sondrel-scan and sondrel-probe, which live in the private directory as hosts
#                beside the library (with a Logger.xml that keeps them from writing log files
#                there) and are linked from <bindir>; their man pages
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SONDREL_INSTALL_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR}/sondrel)
set(SONDREL_INSTALL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Sondrel)
set(SONDREL_INSTALL_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The companion libraries installed beside libsondrel: one entry per companion target.
set(SONDREL_COMPANION_TARGETS merrin_module)
# The programs installed beside libsondrel and linked from <bindir>: one entry per target.
set(SONDREL_TOOL_TARGETS sondrel-scan sondrel-probe)

install(TARGETS sondrel
        LIBRARY DESTINATION ${SONDREL_INSTALL_LIBRARY_DIR}
                COMPONENT runtime NAMELINK_COMPONENT development)
install(TARGETS ${SONDREL_COMPANION_TARGETS}
        LIBRARY DESTINATION ${SONDREL_INSTALL_LIBRARY_DIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/include/sondrel/sondrel.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sondrel COMPONENT development)

# sondrel_install_tool(<target>): the program beside the library, a relative link to it in
# <bindir> (the program finds its directory through the link's target) and its man page.
function(sondrel_install_tool target)
  install(TARGETS ${target} RUNTIME DESTINATION ${SONDREL_INSTALL_LIBRARY_DIR} COMPONENT tools)
  file(RELATIVE_PATH relative /${CMAKE_INSTALL_BINDIR} /${SONDREL_INSTALL_LIBRARY_DIR}/${target})
  set(link ${PROJECT_BINARY_DIR}/install-links/${target})
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install-links)
  file(CREATE_LINK ${relative} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
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
