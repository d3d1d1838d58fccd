# Warning flags for every target of the project.
add_library(sondrel_warnings INTERFACE)
target_compile_options(sondrel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow=local
                                                  -Wnon-virtual-dtor)
if(SONDREL_WERROR)
  target_compile_options(sondrel_warnings INTERFACE -Werror)
endif()
