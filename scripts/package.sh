#!/usr/bin/env bash
# Builds both DLLs and their installers: build/dist/QuorvelV11-<version>-x86.msi and -x64.msi.
# Per-machine packages with the registration as registry rows (no self-registration), a fixed
# UpgradeCode per architecture and a major upgrade, so that a newer version replaces an older.
# QUORVEL_MSI_VERSION overrides the version (the tests use it to build an upgrade).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows package
version="${QUORVEL_MSI_VERSION:-$(sed -n 's/^project(quorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)}"
mkdir -p build/dist
for arch in x86 x64; do
  cmake --preset "mingw-$arch" >/dev/null
  cmake --build --preset "mingw-$arch" --target QuorvelV11
  wxs="build/mingw-$arch/QuorvelV11.wxs"
  python3 scripts/msi/wxs.py "$arch" "$version" "build/mingw-$arch/src/com/QuorvelV11.dll" \
    src/com/QuorvelV11.idl >"$wxs"
  wixl -a "$arch" -o "build/dist/QuorvelV11-$version-$arch.msi" "$wxs"
  echo "build/dist/QuorvelV11-$version-$arch.msi: $(stat -c %s "build/dist/QuorvelV11-$version-$arch.msi") bytes"
done
