#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds a consumer project against it with
# find_package(Quorvel), and runs it on a demo store; the installed command imports every
# installed label layout. Usage: install_test.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/quorvel" ] || { echo "FAIL: quorvel not installed"; exit 1; }
layouts="$work/prefix/share/quorvel/layouts"
diff -r "$here/../layouts" "$layouts" || { echo "FAIL: the layouts are not installed as shipped"; exit 1; }
"$work/prefix/bin/quorvel" init --store "$work/layouts.db" >/dev/null
for f in "$layouts"/*.json; do
  "$work/prefix/bin/quorvel" import --store "$work/layouts.db" "$f" >/dev/null ||
    { echo "FAIL: the installed command cannot import $f"; exit 1; }
done
cmake -S "$here/consumer" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
got="$("$work/build/consumer" "$work/demo.db" 2100123004567)"
[ "$got" == "00123,004.56" ] || { echo "FAIL: the consumer printed '$got'"; exit 1; }
echo "ok: installed package found and linked; the consumer printed $got; $(ls "$layouts" | wc -l) layouts imported"
