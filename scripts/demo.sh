#!/usr/bin/env bash
# Builds the command, creates a demo store and parses the demo barcodes on it; says where the
# command is and how long all of it took (a few minutes on 2 cores, package installs aside).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

scripts/install-deps.sh linux
cmake --preset linux >/dev/null
# The man page and completion too, so that the install below has them.
cmake --build --preset linux --target quorvel quorvel_man

q=build/linux/src/cli/quorvel
store=build/demo.db
rm -f "$store"
"$q" init --store "$store" --demo

show() { echo "\$ quorvel $*"; "$q" "$@" || echo "(exit status $?)"; }
show parse --store "$store" --rule R01 --categories A,B 2100123004567
show parse --store "$store" --rule CZ18 --categories A,W,B 281234501250009987 280004200755001234
show store-code --store "$store" --rule CZ18
show explain --store "$store" --rule R01 2100123004560
# A typing error is named, not answered with empty values.
show parse --store "$store" --rule R01 --categories A,C,B 2100123004567

cat <<EOT

Done in $((SECONDS - start)) s. The command is $PWD/$q
To have it on the PATH with its man page and bash completion, install it:
  cmake --install build/linux --prefix ~/.local     # then: export PATH=~/.local/bin:\$PATH
or, for every user: sudo cmake --install build/linux
EOT
