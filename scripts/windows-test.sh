#!/usr/bin/env bash
# Builds QuorvelV11.dll for x64 and x86 and runs the Wine tests on them. Needs the linux preset
# built (its quorvel command creates the demo store the clients read).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows windows-ui

for preset in mingw-x64 mingw-x86; do
  echo "== preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

if [ ! -x build/linux/src/cli/quorvel ]; then
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target quorvel
fi

echo "== wine tests"
tests/wine/run.sh build/mingw-x64 build/mingw-x86 build/linux/src/cli/quorvel

# The maintenance windows driven like a user; their screenshots land in build/wine-ui-shots.
echo "== wine ui tests"
tests/wine_ui/run.sh build/mingw-x64 build/linux/src/cli/quorvel build/wine-ui-shots
