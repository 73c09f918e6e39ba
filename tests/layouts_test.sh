#!/usr/bin/env bash
# The shipped label layouts as a shop uses them: each file imports into a fresh store, passes the
# check, and cuts a label built from its source's own example value to that value.
# Usage: layouts_test.sh QUORVEL LAYOUT_DIR
set -u
q="$1"
layouts="$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; else echo "ok   $1"; fi
}

# file, rule, categories, label, what a till gets. Sweden's 23 and Denmark's labels are the
# sources' own printed examples; elsewhere the item digits (123401, 12345) stand in for a member's
# own around the source's example value, with the check digit computed.
cases="
se-gs1-sweden.json  SE20 ITEM,PRICE  2012340112341 123401,12.34
se-gs1-sweden.json  SE21 ITEM,PRICE  2112340112348 123401,123.4
se-gs1-sweden.json  SE22 ITEM,PRICE  2212340112345 123401,1234
se-gs1-sweden.json  SE23 ITEM,WEIGHT 2388060103489 880601,0.348
se-gs1-sweden.json  SE23 ITEM,WEIGHT 2388060202977 880602,0.297
se-gs1-sweden.json  SE23 ITEM,WEIGHT 2388060310856 880603,1.085
se-gs1-sweden.json  SE24 ITEM,WEIGHT 2412340112349 123401,12.34
se-gs1-sweden.json  SE25 ITEM,WEIGHT 2512340112346 123401,123.4
fi-gs1-finland.json FI23 ITEM,WEIGHT 2312340111550 123401,1.155
fi-gs1-finland.json FI24 ITEM,WEIGHT 2412340111557 123401,11.55
fi-gs1-finland.json FI25 ITEM,WEIGHT 2512340111554 123401,115.5
gb-gs1-uk.json      GB20 ITEM,PRICE  2012345928756 12345,2875
gb-gs1-uk.json      GB28 PRICE,ITEM  2812345928752 2875,12345
dk-gs1-denmark.json DK21 ITEM,PRICE  2135040039753 3504,0039.75
dk-gs1-denmark.json DK22 ITEM,PRICE  2235040039750 3504,0039.75
dk-gs1-denmark.json DK23 ITEM,PRICE  2335040039757 3504,0039.75
dk-gs1-denmark.json DK24 ITEM,PRICE  2435040039754 3504,0039.75
dk-gs1-denmark.json DK26 ITEM,WEIGHT 2623570001505 2357,000.150
dk-gs1-denmark.json DK28 ITEM,WEIGHT 2823570001509 2357,000.150
dk-gs1-denmark.json DK27 ITEM,WEIGHT 2712341002251 12341,00.225
gs1-fresh-food.json GS1FRESH ITEM,WEIGHT,PRICE,EXPIRY,BATCH (01)09501101530003(3103)001250(3922)1234(17)270115(10)AB12 09501101530003,001.250,12.34,270115,AB12
gs1-fresh-food.json GS1FRESH PRICE,WEIGHT,BATCH https://id.gs1.org/01/09501101530003/10/AB12?3102=012500&3922=899 8.99,0125.00,AB12
"

# Every shipped file, and every rule in it, has its case: nothing ships untested.
for path in "$layouts"/*.json; do
  f=$(basename "$path")
  store="$dir/$f.db"
  "$q" init --store "$store" >/dev/null
  check "$f: imports into a fresh store" "0" "$("$q" import --store "$store" "$path" >"$dir/out" 2>&1; echo $?)"
  check "$f: passes the check" "0" "$("$q" check --store "$store"; echo $?)"
  check "$f: every rule has a case" "$(echo "$cases" | awk -v f="$f" '$1 == f {print $2}' | sort -u)" \
    "$("$q" export --store "$store" | sed -n 's/^ *"gzid": "\(.*\)",$/\1/p' | sort)"
  check "$f: names its source" "1" "$(grep -c '"Source: GS1 .*https://' "$path")"
done

while read -r f rule categories label expected; do
  [ -n "$f" ] || continue
  store="$dir/$f.db"
  check "$rule: $label" "$expected" "$("$q" parse --store "$store" --rule "$rule" --categories "$categories" "$label")"
  if [ ${#label} = 13 ]; then
    check "$rule: $label has a valid check digit" "check digit: ${label: -1} is a valid EAN-13 check digit" \
      "$("$q" explain --store "$store" --rule "$rule" "$label" | grep '^check digit')"
  else
    # A GS1 label: its form is named, and it has no findings (its GTIN's check digit is valid).
    check "$rule: $label is read without findings" "1" \
      "$("$q" explain --store "$store" --rule "$rule" "$label" | grep -c '^label: ')"
  fi
done <<<"$cases"
exit $fail
