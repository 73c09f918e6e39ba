#!/usr/bin/env bash
# Real symbols: zint prints GS1 labels as GS1 DataBar Expanded, GS1-128, GS1 QR Code and GS1
# DataMatrix images, Debian's decoders read them back (zbarimg; dmtxread with FNC1 as GS or as a
# substitute), and `quorvel parse` and `batch` cut what was read, as decoded and behind the
# symbology identifier a scanner puts in front, by the shipped GS1 fresh food layout.
# Usage: symbols_test.sh QUORVEL LAYOUT_DIR
set -u
q="$1"
layouts="$2"
# shellcheck source=gs1_symbols.sh
source "$(dirname "$0")/gs1_symbols.sh"
missing=$(gs1_tools_missing)
[ -z "$missing" ] || { echo "FAIL: $missing is missing (scripts/install-deps.sh symbols)"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; else echo "ok   $1"; fi
}

store="$dir/shop.db"
"$q" init --store "$store" >/dev/null
"$q" import --store "$store" "$layouts/gs1-fresh-food.json" >/dev/null || { echo "FAIL: import"; exit 1; }
# The same rule for a scanner that sends ~ for GS.
gs1_tilde_layout "$layouts/gs1-fresh-food.json" "$dir/tilde.json"
"$q" import --store "$store" "$dir/tilde.json" >/dev/null || { echo "FAIL: import ~"; exit 1; }
check "both rules pass the check" "0" "$("$q" check --store "$store" >/dev/null; echo $?)"

n=0
while read -r data expected; do
  [ -n "$data" ] || continue
  n=$((n + 1))
  while read -r type decoder id rule name; do
    [ -n "$type" ] || continue
    img="$dir/$n-$name.png"
    gs1_print "$type" "$data" "$img" || { check "$name $n: zint prints it" "0" "1"; continue; }
    read=$(gs1_read "$decoder" "$img")
    check "$name $n: read back" "1" "$([ -n "$read" ] && echo 1 || echo 0)"
    check "$name $n: parse as decoded" "$expected" \
      "$("$q" parse --store "$store" --rule "$rule" --categories "$gs1_categories" "$read")"
    check "$name $n: parse behind $id" "$expected" \
      "$("$q" parse --store "$store" --rule "$rule" --categories "$gs1_categories" "$id$read")"
    printf '%s\n%s\r\n' "$read" "$id$read" >"$dir/scanned.txt"
    check "$name $n: batch" "$(printf '%s\n%s' "$expected" "$expected")" \
      "$("$q" batch --store "$store" --rule "$rule" --categories "$gs1_categories" "$dir/scanned.txt")"
    check "$name $n: explain finds nothing wrong" "" \
      "$("$q" explain --store "$store" --rule "$rule" "$id$read" | grep '^label: ' | grep -v -e 'GS1 element string' -e 'no level takes')"
  done <<<"$gs1_symbols"
done <<<"$gs1_labels"
exit $fail
