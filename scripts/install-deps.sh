#!/usr/bin/env bash
# Installs every Debian package that building, testing, fuzzing and benchmarking Sondrel needs.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang lld libclang-rt-14-dev clang-format
  libboost-dev libboost-system-dev libboost-thread-dev libboost-date-time-dev
  libssl-dev openssl zlib1g-dev libtinyxml-dev
  libclamav-dev libcli11-dev clamav-daemon clamdscan
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  binutils python3
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}"
