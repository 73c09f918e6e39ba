#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds a consumer project against it with
# find_package(Quorvel), and runs it on a demo store. Usage: install_test.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/quorvel" ] || { echo "FAIL: quorvel not installed"; exit 1; }
cmake -S "$here/consumer" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
got="$("$work/build/consumer" "$work/demo.db" 2100123004567)"
[ "$got" == "00123,004.56" ] || { echo "FAIL: the consumer printed '$got'"; exit 1; }
echo "ok: installed package found and linked; the consumer printed $got"
