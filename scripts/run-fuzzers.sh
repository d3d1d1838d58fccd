#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) and runs
# each one for the given number of seconds on a copy of its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DSONDREL_SANITIZE=fuzzer-no-link,address,undefined \
      -DSONDREL_FUZZ=ON -DSONDREL_TESTS=OFF -DSONDREL_BENCH=OFF
cmake --build build-fuzz --target fuzzers

for corpus in fuzz/corpus/*/; do
  [ -d "$corpus" ] || continue
  name=$(basename "$corpus")
  work="build-fuzz/corpus-run/$name"
  rm -rf "$work" && mkdir -p "$work" && cp -r "$corpus". "$work"/
  echo "== fuzzing $name for ${seconds}s"
  "build-fuzz/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 "$work"
done
