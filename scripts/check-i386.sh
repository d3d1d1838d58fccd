#!/usr/bin/env bash
# The host records keep their 32-bit offsets, and the library works as a 32-bit build:
#  1. the public header, with the offset and size assertions it makes on 32-bit targets, compiles
#     for i386 as C and as C++ (gcc-multilib, g++-multilib);
#  2. the library, its companions, the tools and their tests build for i386
#     (cmake/i386-linux-gnu.cmake, the :i386 development packages) and the unit tests pass. The
#     scan server is left out: it is a 64-bit service, and Debian's libclamav-dev cannot be
#     installed for i386 beside the native one.
# Usage: scripts/check-i386.sh [BUILD_DIR]    (default: build-i386)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-i386}

echo "== the public header for i386"
header_check() {
  "$@" -m32 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -Iinclude - <<<'#include <sondrel/sondrel.h>'
}
header_check gcc -x c -std=c11
header_check g++ -x c++ -std=c++20
# The assertions are there to be compiled: the 32-bit guard must let them through.
written=$(grep -c 'SONDREL_STATIC_ASSERT(' include/sondrel/sondrel.h)
compiled=$(gcc -m32 -x c -std=c11 -E -Iinclude - <<<'#include <sondrel/sondrel.h>' |
  grep -c '_Static_assert(' || true)
echo "$compiled of $written layout assertions compiled"
[ "$compiled" = "$written" ] || { echo "the 32-bit layout assertions were not compiled" >&2; exit 1; }

echo "== the library and its unit tests for i386"
cmake -S . -B "$build" -G Ninja --toolchain cmake/i386-linux-gnu.cmake -DSONDREL_WERROR=ON \
      -DSONDREL_BENCH=OFF -DSONDREL_SERVER=OFF >/dev/null
cmake --build "$build"
file -L "$build/src/core/libsondrel.so"
ctest --test-dir "$build" -L unit --output-on-failure -j2
