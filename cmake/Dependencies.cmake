# Every third-party package comes from the system (scripts/install-deps.sh installs them).
find_package(Threads REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS system thread date_time)
find_package(OpenSSL 3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(CLI11 REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(PkgConfig REQUIRED)
find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
find_library(TINYXML_LIBRARY NAMES tinyxml REQUIRED)
add_library(TinyXML::TinyXML UNKNOWN IMPORTED)
set_target_properties(TinyXML::TinyXML PROPERTIES IMPORTED_LOCATION "${TINYXML_LIBRARY}"
                                                  INTERFACE_INCLUDE_DIRECTORIES "${TINYXML_INCLUDE_DIR}")

# The response cache companion keeps its entries in LMDB (Debian ships lmdb.pc).
pkg_check_modules(LMDB REQUIRED IMPORTED_TARGET lmdb)

if(SONDREL_SERVER)
  # The scan server's engine.
  pkg_check_modules(CLAMAV REQUIRED IMPORTED_TARGET libclamav)
  # The client of the shared cache on Redis (its reply parser and command formatting).
  pkg_check_modules(HIREDIS REQUIRED IMPORTED_TARGET hiredis)
endif()

if(SONDREL_TESTS)
  find_package(GTest REQUIRED)
endif()
if(SONDREL_BENCH)
  find_package(benchmark REQUIRED)
endif()
