#!/usr/bin/env bash
# Builds the command, creates a demo store and parses the demo barcodes on it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh linux
cmake --preset linux >/dev/null
cmake --build --preset linux --target quorvel

q=build/linux/src/cli/quorvel
store=build/demo.db
rm -f "$store"
"$q" init --store "$store" --demo

show() { echo "\$ quorvel $*"; "$q" "$@"; }
show parse --store "$store" --rule R01 --categories A,B 2100123004567
show parse --store "$store" --rule R01 --categories A,C,B 2100123004567
show parse --store "$store" --rule CZ18 --categories A,W,B 281234501250009987 280004200755001234
show store-code --store "$store" --rule CZ18
