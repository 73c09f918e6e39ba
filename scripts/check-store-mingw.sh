#!/usr/bin/env bash
# Compiles every source of src/store for Windows (64- and 32-bit MinGW-w64) the way the Windows
# build takes it: ODBC backend on, no embedded backend (no libsqlite3 there). Objects only.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for cxx in x86_64-w64-mingw32-g++ i686-w64-mingw32-g++; do
  command -v "$cxx" >/dev/null || { echo "check-store-mingw: $cxx is not installed" >&2; exit 1; }
  for src in src/store/*.cpp; do
    [ "$(basename "$src")" = sqlite_backend.cpp ] && continue
    if ! "$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror -DQUORVEL_WITH_ODBC=1 -Isrc \
         -c "$src" -o "$out/$(basename "$src").o"; then
      echo "check-store-mingw: $src does not compile with $cxx" >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "check-store-mingw: src/store compiles for Windows (x64, x86)"
exit $status
