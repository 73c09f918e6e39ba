#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again: it only asks
# apt for what is missing.
set -euo pipefail

groups="${*:-linux}"
pkgs=()
for g in $groups; do
  case "$g" in
    linux) pkgs+=(build-essential cmake ninja-build pkg-config libsqlite3-dev sqlite3 unixodbc-dev
                  libcli11-dev nlohmann-json3-dev libicu-dev libgtest-dev libgmock-dev
                  libbenchmark-dev python3-jsonschema man-db) ;;
    # The :i386 packages run the x86 DLL in 32-bit processes, through 32-bit ODBC.
    windows) pkgs+=(mingw-w64 mingw-w64-tools libwine-dev python3 wine wine64 xvfb xdotool
                    unixodbc libsqliteodbc tdsodbc wine32:i386 libodbc2:i386 libsqliteodbc:i386
                    tdsodbc:i386) ;;
    package) pkgs+=(wixl msitools) ;;
    format) pkgs+=(clang-format) ;;
    fuzz) pkgs+=(clang-14 libclang-rt-14-dev) ;;
    # GS1 symbols printed and read back by the symbols test.
    symbols) pkgs+=(zint zbar-tools dmtx-utils) ;;
    windows-ui) pkgs+=(xvfb xdotool imagemagick fonts-wqy-zenhei sqlite3) ;;
    odbc) pkgs+=(unixodbc unixodbc-dev odbcinst libsqliteodbc odbc-postgresql postgresql
                 postgresql-contrib python3 tdsodbc freetds-bin) ;;
    *) echo "install-deps: unknown group $g" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# A fresh machine knows only its own architecture; the :i386 packages need i386 added first.
for p in "${missing[@]}"; do
  case "$p" in
    *:i386) dpkg --print-foreign-architectures | grep -qx i386 ||
              $SUDO dpkg --add-architecture i386 ;;
  esac
done
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
