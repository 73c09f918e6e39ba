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

# file, rule, categories, label (item digits 123401 or 12345 stand in for a member's own; the
# value digits are the source's example), what a till gets.
cases="
se-gs1-sweden.json  SE20 ITEM,PRICE  2012340112341 123401,12.34
se-gs1-sweden.json  SE21 ITEM,PRICE  2112340112348 123401,123.4
se-gs1-sweden.json  SE22 ITEM,PRICE  2212340112345 123401,1234
se-gs1-sweden.json  SE23 ITEM,WEIGHT 2312340112342 123401,1.234
se-gs1-sweden.json  SE24 ITEM,WEIGHT 2412340112349 123401,12.34
se-gs1-sweden.json  SE25 ITEM,WEIGHT 2512340112346 123401,123.4
fi-gs1-finland.json FI23 ITEM,WEIGHT 2312340111550 123401,1.155
fi-gs1-finland.json FI24 ITEM,WEIGHT 2412340111557 123401,11.55
fi-gs1-finland.json FI25 ITEM,WEIGHT 2512340111554 123401,115.5
gb-gs1-uk.json      GB20 ITEM,PRICE  2012345928756 12345,2875
gb-gs1-uk.json      GB28 PRICE,ITEM  2812345928752 2875,12345
"

# Every shipped file, and every rule in it, has its case: nothing ships untested.
for path in "$layouts"/*.json; do
  f=$(basename "$path")
  store="$dir/$f.db"
  "$q" init --store "$store" >/dev/null
  check "$f: imports into a fresh store" "0" "$("$q" import --store "$store" "$path" >"$dir/out" 2>&1; echo $?)"
  check "$f: passes the check" "0" "$("$q" check --store "$store"; echo $?)"
  check "$f: every rule has a case" "$(echo "$cases" | awk -v f="$f" '$1 == f {print $2}' | sort)" \
    "$("$q" export --store "$store" | sed -n 's/^ *"gzid": "\(.*\)",$/\1/p' | sort)"
  check "$f: names its source" "1" "$(grep -c '"Source: GS1 .*https://' "$path")"
done

while read -r f rule categories label expected; do
  [ -n "$f" ] || continue
  store="$dir/$f.db"
  check "$rule: $label" "$expected" "$("$q" parse --store "$store" --rule "$rule" --categories "$categories" "$label")"
  check "$rule: $label has a valid check digit" "check digit: ${label: -1} is a valid EAN-13 check digit" \
    "$("$q" explain --store "$store" --rule "$rule" "$label" | grep '^check digit')"
done <<<"$cases"
exit $fail
