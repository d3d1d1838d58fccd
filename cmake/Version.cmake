# The project's version (project(VERSION) in the top-level CMakeLists.txt) is the one version of
# Sondrel: the library's file name and SONAME, pkg-config, the CMake package and the packages take
# it from there. The public header carries it for hosts as macros; configuring stops when the
# two disagree.
set(_sondrel_header ${PROJECT_SOURCE_DIR}/include/sondrel/sondrel.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_sondrel_header})
foreach(_part MAJOR MINOR PATCH)
  file(STRINGS ${_sondrel_header} _line REGEX "^#define SONDREL_VERSION_${_part} [0-9]+$")
  string(REGEX REPLACE "^#define SONDREL_VERSION_${_part} " "" _value "${_line}")
  if(NOT _value STREQUAL PROJECT_VERSION_${_part})
    message(FATAL_ERROR "include/sondrel/sondrel.h has SONDREL_VERSION_${_part} '${_value}', "
                        "the project version is ${PROJECT_VERSION}")
  endif()
endforeach()
file(STRINGS ${_sondrel_header} _line REGEX "^#define SONDREL_VERSION \"")
if(NOT _line STREQUAL "#define SONDREL_VERSION \"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "include/sondrel/sondrel.h has '${_line}', "
                      "the project version is ${PROJECT_VERSION}")
endif()
