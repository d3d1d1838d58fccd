# Builds for i386 on x86_64 Debian, with gcc-multilib, g++-multilib and the :i386 development
# packages that scripts/install-deps.sh installs:
#   cmake -S . -B build-i386 -G Ninja --toolchain cmake/i386-linux-gnu.cmake
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# pkg-config (through which OpenSSL is found) must read the i386 files, not the native ones.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
