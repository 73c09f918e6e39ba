#!/usr/bin/env bash
# Builds QuorvelV11.dll for x64 and x86 and runs every Wine suite on each, in processes of the
# DLL's own architecture. Needs the linux preset built (its quorvel command creates the demo
# store the clients read). QUORVEL_WINE_ARCHS narrows the architectures (default "x64 x86").
set -uo pipefail
cd "$(dirname "$0")/.."

# symbols: the suites cut GS1 labels that zint prints and the decoders read back.
scripts/install-deps.sh windows windows-ui symbols || exit 1

archs="${QUORVEL_WINE_ARCHS:-x64 x86}"
for arch in $archs; do
  echo "== preset mingw-$arch"
  cmake --preset "mingw-$arch" >/dev/null && cmake --build --preset "mingw-$arch" || exit 1
done

if [ ! -x build/linux/src/cli/quorvel ]; then
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target quorvel || exit 1
fi

# Some kernels are built without 32-bit support: the x86 DLL is then built and its imports
# checked, but no 32-bit process can run it. Said loudly, so that nobody reads it as a pass.
run_archs=""
for arch in $archs; do
  if [ "$arch" = x86 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "== SKIPPED: this machine's kernel cannot run 32-bit programs; no x86 suite runs here"
    continue
  fi
  run_archs+=" $arch"
done

status=0
# The oldest hosts: Windows XP SP3 for the x86 DLL, Windows 7 for the x64 one.
for arch in $archs; do
  winnt=0x0601
  [ "$arch" = x86 ] && winnt=0x0501
  echo "== imports of the $arch DLL"
  scripts/check-imports.sh "build/mingw-$arch/src/com/QuorvelV11.dll" "$winnt" | grep -v '^  ok' ||
    status=1
done
for arch in $run_archs; do
  echo "== wine tests, $arch"
  tests/wine/run.sh "$arch" "build/mingw-$arch" build/linux/src/cli/quorvel || status=1
  # The maintenance windows driven like a user; their screenshots land in build/wine-ui-shots.
  echo "== wine ui tests, $arch"
  tests/wine_ui/run.sh "$arch" "build/mingw-$arch" build/linux/src/cli/quorvel \
    "build/wine-ui-shots/$arch" || status=1
done
# The installers: this version, and a newer one built to be installed over it.
version="$(sed -n 's/^project(quorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
newer="${version%.*}.$((${version##*.} + 1))"
scripts/package.sh >/dev/null || exit 1
QUORVEL_MSI_VERSION="$newer" scripts/package.sh | tail -2 || exit 1
for arch in $run_archs; do
  echo "== installer tests, $arch"
  tests/wine/msi.sh "$arch" "build/dist/QuorvelV11-$version-$arch.msi" \
    "build/dist/QuorvelV11-$newer-$arch.msi" \
    build/linux/src/cli/quorvel || status=1
done
if [[ " $run_archs " == *" x64 "* && " $run_archs " == *" x86 "* ]]; then
  echo "== wine tests, both architectures side by side"
  tests/wine/side_by_side.sh build/mingw-x64 build/mingw-x86 build/linux/src/cli/quorvel || status=1
fi
exit $status
