#!/usr/bin/env bash
# Installs every Debian package that building, testing, fuzzing and benchmarking Sondrel needs.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  clang lld libclang-rt-14-dev clang-format
  libboost-dev libboost-system-dev libboost-thread-dev libboost-date-time-dev
  libssl-dev openssl zlib1g-dev libtinyxml-dev liblmdb-dev
  libcli11-dev nlohmann-json3-dev
  libclamav-dev clamav-daemon clamdscan
  libhiredis-dev redis-server  # the shared cache client; the tests start a private redis-server
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  binutils python3
  dpkg-dev file
  gcc-multilib g++-multilib
)
# The i386 build (scripts/check-i386.sh): the development packages of the dependencies for i386,
# beside the native ones (CLI11 and nlohmann-json are header-only and serve both; the server, and
# with it libclamav, is left out of that build).
i386_packages=(
  libboost-dev:i386 libboost-system-dev:i386 libboost-thread-dev:i386 libboost-date-time-dev:i386
  libssl-dev:i386 zlib1g-dev:i386 libtinyxml-dev:i386 liblmdb-dev:i386
  libgtest-dev:i386 libgmock-dev:i386
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}" "${i386_packages[@]}"
