# SONDREL_SANITIZE=address,undefined instruments everything that is built, tests included.
if(SONDREL_SANITIZE)
  set(_sondrel_san_flags -fsanitize=${SONDREL_SANITIZE} -fno-omit-frame-pointer
                         -fno-sanitize-recover=all)
  add_compile_options(${_sondrel_san_flags})
  add_link_options(${_sondrel_san_flags})
  # Boost.Asio uses this to let AddressSanitizer follow its coroutine-free stacks exactly.
  add_compile_definitions(BOOST_USE_ASAN)
endif()
