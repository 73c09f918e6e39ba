#!/usr/bin/env bash
# check, explain, batch, export and import as a user runs them, on the embedded store and (when
# the test script provides them) through the SQLite3 ODBC driver and on PostgreSQL.
set -u
q="$1"
dir=$(mktemp -d)
pgdb=""
cleanup() {
  [ -n "$pgdb" ] && echo "drop database if exists $pgdb with (force)" | isql -b -k "$QUORVEL_TEST_PG_CONN;Database=postgres" >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; else echo "ok   $1"; fi
}

"$q" init --store "$dir/d.db" --demo >/dev/null
check "check: demo rules are sound" "0" "$("$q" check --store "$dir/d.db" >/dev/null; echo $?)"
sqlite3 "$dir/d.db" "insert into txm_gzzb values ('BAD','b''ad','21',3); insert into txm_gzmx values ('BAD',1,'A',5,3,0,'')"
check "check: a broken rule" "BAD: level 1 (A): end 3 is before start 5: a till always gets an empty value:1" \
  "$("$q" check --store "$dir/d.db"):$?"
check "check: json" '"code":"end-before-start",' "$("$q" check --store "$dir/d.db" --format json | grep code | tr -d ' ')"
check "check: unreadable store" "3" "$("$q" check --store "$dir/none.db" 2>/dev/null; echo $?)"
check "explain" "2      B 金额      6-10       8-12        00456  004.56" \
  "$("$q" explain --store "$dir/d.db" --rule R01 2100123004567 | sed -n 5p)"

# batch prints what parse prints, byte for byte, for every kind of line.
printf '\xef\xbb\xbf2100123004567\r\n21001\n\n21店铺码456789\n%s\n2100123' "$(printf '9%.0s' {1..300})" >"$dir/in.txt"
"$q" parse --store "$dir/d.db" --rule R01 --categories A,B,,A <"$dir/in.txt" >"$dir/parse.out"
"$q" batch --store "$dir/d.db" --rule R01 --categories A,B,,A "$dir/in.txt" >"$dir/batch.out"
check "batch equals parse" "" "$(cmp "$dir/parse.out" "$dir/batch.out")"
check "batch from stdin" "" "$("$q" batch --store "$dir/d.db" --rule R01 --categories A,B,,A <"$dir/in.txt" | cmp - "$dir/parse.out")"
check "batch without its store fails" "1" "$("$q" batch --store "$dir/none.db" --rule R01 --categories A "$dir/in.txt" 2>/dev/null; echo $?)"

# Rules move between stores: exactly, never over existing ones unless asked, never broken ones.
"$q" export --store "$dir/d.db" --rule cz18 --rule R01 -o "$dir/r.json"
roundtrip() {  # name, connection option pair of an empty store with the tables
  check "$1: import" "0" "$("$q" import "$2" "$3" "$dir/r.json" >/dev/null; echo $?)"
  check "$1: same rules back" "$(cat "$dir/r.json")" "$("$q" export "$2" "$3")"
  check "$1: existing rules refused" "1" "$("$q" import "$2" "$3" "$dir/r.json" 2>/dev/null; echo $?)"
  check "$1: replaced" "CZ18: replaced, 3 levels" "$("$q" import "$2" "$3" "$dir/r.json" --replace | grep CZ18)"
}
"$q" init --store "$dir/e.db" >/dev/null
sqlite3 "$dir/e.db" "delete from glsx"
roundtrip embedded --store "$dir/e.db"
head -c 200 "$dir/r.json" >"$dir/cut.json"
before=$(sqlite3 "$dir/e.db" .dump)
check "truncated file" "1:quorvel: $dir/cut.json: not a valid JSON file: parse error at line 15, column 1" \
  "$("$q" import --store "$dir/e.db" "$dir/cut.json" 2>"$dir/err"; echo "$?:$(cut -d: -f1-4 "$dir/err")")"
check "truncated file changes nothing" "$before" "$(sqlite3 "$dir/e.db" .dump)"
"$q" export --store "$dir/d.db" --rule BAD -o "$dir/bad.json"
check "broken rule refused" "1:$before" "$("$q" import --store "$dir/e.db" "$dir/bad.json" 2>/dev/null; echo $?):$(sqlite3 "$dir/e.db" .dump)"

if odbcinst -q -d -n SQLite3 >/dev/null 2>&1; then
  "$q" init --conn "Driver={SQLite3};Database=$dir/o.db" >/dev/null
  roundtrip "SQLite3 driver" --conn "Driver={SQLite3};Database=$dir/o.db"
fi
if [ -n "${QUORVEL_TEST_PG_CONN:-}" ]; then
  pgdb="quorvel_tools_$$"
  echo "create database $pgdb" | isql -b -k "$QUORVEL_TEST_PG_CONN;Database=postgres" >/dev/null
  "$q" init --conn "$QUORVEL_TEST_PG_CONN;Database=$pgdb" >/dev/null
  roundtrip PostgreSQL --conn "$QUORVEL_TEST_PG_CONN;Database=$pgdb"
fi
exit $fail
