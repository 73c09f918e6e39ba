#!/usr/bin/env bash
# Opens the rule maintenance windows on the demo store, through Wine, on the current display.
#
# usage: scripts/maintain-demo.sh [STORE_FILE]
#
# Builds the x64 DLL and quorvel-host.exe, registers the DLL in a Wine prefix of its own
# ($WINEPREFIX, by default ~/.quorvel-wine), maps the windows' font 宋体 to an installed CJK font,
# creates the demo store if STORE_FILE (default /tmp/quorvel-demo.db) does not exist yet, and
# shows the browser. The store is reached through Wine's ODBC and Debian's SQLite3 driver.
set -euo pipefail
cd "$(dirname "$0")/.."

store="${1:-/tmp/quorvel-demo.db}"
export WINEPREFIX="${WINEPREFIX:-$HOME/.quorvel-wine}" WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
[ -n "${DISPLAY:-}" ] || { echo "maintain-demo: no DISPLAY to show the windows on" >&2; exit 1; }

scripts/install-deps.sh linux windows windows-ui
cmake --preset linux >/dev/null
cmake --build --preset linux --target quorvel
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target QuorvelV11 quorvel-host

[ -e "$store" ] || build/linux/src/cli/quorvel init --store "$store" --demo
store="$(cd "$(dirname "$store")" && pwd)/$(basename "$store")"

bin="$WINEPREFIX/drive_c/quorvel"
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
mkdir -p "$bin"
cp build/mingw-x64/src/com/QuorvelV11.dll build/mingw-x64/src/host/quorvel-host.exe "$bin/"
fonts="$(mktemp)"
iconv -f UTF-8 -t UTF-16 tests/wine_ui/fonts.reg >"$fonts"
/usr/lib/wine/wine64 regedit /S "$fonts" >/dev/null 2>&1
rm -f "$fonts"
(cd "$bin" && /usr/lib/wine/wine64 regsvr32 /s QuorvelV11.dll)

cd "$bin"
exec /usr/lib/wine/wine64 quorvel-host.exe QuorvelV11.ClsUse "ConnString=Driver={SQLite3};Database=$store" \
    ConnectionTime=15 Show
