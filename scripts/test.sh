#!/usr/bin/env bash
# The whole test suite: builds every preset with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh linux odbc fuzz symbols
# ODBC drivers, pooling, and a PostgreSQL server for the conformance suites (stopped on exit).
source scripts/odbc-test-env.sh

run_preset() {
  local preset="$1"
  echo "== preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
}

run_preset linux
run_preset linux-asan

# The way a user builds any CMake project (-O3, no preset), with warnings as errors so that what
# GCC says at -O3 is seen here first; then its installed tree used by another project.
echo "== plain Release build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_WERROR=ON \
  -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF >/dev/null
cmake --build build/release
tests/install_test.sh build/release

# The connection-string translation, the dialect rewriting and the quoting under libFuzzer,
# 20 seconds a target, from the seeds kept in fuzz/corpus.
echo "== fuzzing"
scripts/fuzz.sh 20

# The Windows DLLs, built by the cross compilers and run under Wine.
scripts/windows-test.sh
