# Checks that a shared library defines exactly the six exported functions in its dynamic symbol
# table. Usage: cmake -DNM=<nm> -DLIBRARY=<file> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
set(expected CoreDisinfect CoreFree CoreInit CoreNew CoreScan CoreUninit)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
message(STATUS "exported: ${names}")
