# SONDREL_SANITIZE=address,undefined (or thread) instruments everything that is built, tests
# included.
if(SONDREL_SANITIZE)
  set(_sondrel_san_flags -fsanitize=${SONDREL_SANITIZE} -fno-omit-frame-pointer
                         -fno-sanitize-recover=all)
  add_compile_options(${_sondrel_san_flags})
  add_link_options(${_sondrel_san_flags})
  if(SONDREL_SANITIZE MATCHES "address")
    # Boost.Asio uses this to let AddressSanitizer follow its coroutine-free stacks exactly.
    add_compile_definitions(BOOST_USE_ASAN)
  endif()
  if(SONDREL_SANITIZE MATCHES "thread")
    # ThreadSanitizer does not model stand-alone fences (GCC refuses them under -Werror). Asio's
    # fenced blocks only add ordering on top of the locks its scheduler takes between threads,
    # which ThreadSanitizer does see, so its view of the program stays the same without them.
    add_compile_definitions(BOOST_ASIO_DISABLE_FENCED_BLOCK)
  endif()
endif()
