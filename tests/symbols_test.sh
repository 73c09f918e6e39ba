#!/usr/bin/env bash
# Real symbols: zint prints GS1 labels as GS1 DataBar Expanded, GS1-128, GS1 QR Code and GS1
# DataMatrix images, Debian's decoders read them back (zbarimg; dmtxread with FNC1 as GS or as a
# substitute), and `quorvel parse` and `batch` cut what was read, as decoded and behind the
# symbology identifier a scanner puts in front, by the shipped GS1 fresh food layout.
# Usage: symbols_test.sh QUORVEL LAYOUT_DIR
set -u
q="$1"
layouts="$2"
for tool in zint zbarimg dmtxread; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh symbols)"; exit 1; }
done
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
sed -e 's/"GS1FRESH"/"GS1TILDE"/' -e 's/"bz": "\(GS1:[0-9]*\)"/"bz": "\1:~"/' \
  "$layouts/gs1-fresh-food.json" >"$dir/tilde.json"
"$q" import --store "$store" "$dir/tilde.json" >/dev/null || { echo "FAIL: import ~"; exit 1; }
check "both rules pass the check" "0" "$("$q" check --store "$store" >/dev/null; echo $?)"

categories=ITEM,WEIGHT,PRICE,EXPIRY,BATCH
# zint's input (AIs in brackets) and what a till gets for it.
labels="
[01]09501101530003[3103]001250[3922]1234[17]270115[10]AB12 09501101530003,001.250,12.34,270115,AB12
[01]09501101530003[3102]012345[3922]899[10]X-7/2 09501101530003,0123.45,8.99,,X-7/2
[10]LOT1[01]09501101530003[15]270100[3105]000125[3921]12345 09501101530003,0.00125,1234.5,,LOT1
"
# zint symbology, decoder, the identifier a scanner sends for it, the rule.
symbols="
31 zbar ]e0 GS1FRESH DataBar-Expanded
16 zbar ]C1 GS1FRESH GS1-128
58 zbar ]Q3 GS1FRESH GS1-QR
71 dmtx-gs ]d2 GS1FRESH GS1-DataMatrix
71 dmtx-tilde ]d2 GS1TILDE GS1-DataMatrix-tilde
"
n=0
while read -r data expected; do
  [ -n "$data" ] || continue
  n=$((n + 1))
  while read -r type decoder id rule name; do
    [ -n "$type" ] || continue
    img="$dir/$n-$name.png"
    zint -b "$type" --gs1 --quietzones --scale=4 -d "$data" -o "$img" >/dev/null 2>&1 ||
      { check "$name $n: zint prints it" "0" "1"; continue; }
    case "$decoder" in
      zbar) read=$(zbarimg --raw -q "$img" 2>/dev/null | tr -d '\n') ;;
      dmtx-gs) read=$(dmtxread -N1 -G 29 "$img" 2>/dev/null) ;;
      dmtx-tilde) read=$(dmtxread -N1 -G 126 "$img" 2>/dev/null) ;;
    esac
    check "$name $n: read back" "1" "$([ -n "$read" ] && echo 1 || echo 0)"
    check "$name $n: parse as decoded" "$expected" \
      "$("$q" parse --store "$store" --rule "$rule" --categories "$categories" "$read")"
    check "$name $n: parse behind $id" "$expected" \
      "$("$q" parse --store "$store" --rule "$rule" --categories "$categories" "$id$read")"
    printf '%s\n%s\r\n' "$read" "$id$read" >"$dir/scanned.txt"
    check "$name $n: batch" "$(printf '%s\n%s' "$expected" "$expected")" \
      "$("$q" batch --store "$store" --rule "$rule" --categories "$categories" "$dir/scanned.txt")"
    check "$name $n: explain finds nothing wrong" "" \
      "$("$q" explain --store "$store" --rule "$rule" "$id$read" | grep '^label: ' | grep -v -e 'GS1 element string' -e 'no level takes')"
  done <<<"$symbols"
done <<<"$labels"
exit $fail
