#!/usr/bin/env bash
# Installs the dependencies, configures and builds everything into ./build.
# Extra arguments go to CMake (for example -DSONDREL_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja "$@"
cmake --build build
