#!/usr/bin/env bash
# The whole test suite: builds every preset with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh linux odbc
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

# The Windows DLLs, built by the cross compilers and run under Wine.
scripts/windows-test.sh
