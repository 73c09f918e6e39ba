#!/usr/bin/env bash
# check, explain, batch, export and import as a user runs them, on the embedded store and (when
# the test script provides them) through the SQLite3 ODBC driver, on PostgreSQL and on SQL Server.
set -u
q="$1"
dir=$(mktemp -d)
pgdb=""
msdb=""
cleanup() {
  [ -n "$pgdb" ] && echo "drop database if exists $pgdb with (force)" | isql -b -k "$QUORVEL_TEST_PG_CONN;Database=postgres" >/dev/null 2>&1
  [ -n "$msdb" ] && echo "drop database $msdb" | isql -b -k "$QUORVEL_TEST_TDS_ODBC;Database=master" >/dev/null 2>&1
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
check "explain" "2      B 金额      6-10       8-12        00456  004.56" \
  "$("$q" explain --store "$dir/d.db" --rule R01 2100123004567 | sed -n 5p)"

# Values typed by hand: one a till cannot read is a finding at its level, and the other rules are
# still checked; a fraction a till rounds, and a stale total, are notes that fail only --strict.
cp "$dir/d.db" "$dir/h.db"
sqlite3 "$dir/h.db" "delete from txm_gzzb where gzid='BAD'; delete from txm_gzmx where gzid='BAD';
  update txm_gzmx set startws='abc' where gzid='R01' and js=1; update txm_gzmx set startws=5 where gzid='CZ18' and js=2"
check "check: an unreadable value hides nothing" \
  "CZ18: level 2 (W): cuts position 5 that level 1 (A) cuts too: a till gets those characters in both values
R01: level 1 (A): start abc is not a number a till can read (Type mismatch): a till always gets an empty value:1" \
  "$("$q" check --store "$dir/h.db"):$?"
cp "$dir/d.db" "$dir/n.db"
sqlite3 "$dir/n.db" "delete from txm_gzzb where gzid='BAD'; delete from txm_gzmx where gzid='BAD' or (gzid='CZ18' and js=3);
  update txm_gzmx set xsws=1.5 where gzid='R01' and js=2"
check "check: notes only, naming the field" "2:1:0:1" "$("$q" check --store "$dir/n.db" | wc -l):$("$q" check --store "$dir/n.db" | grep -c "xsws (the level's decimal places) holds 1.5"):$("$q" check --store "$dir/n.db" >/dev/null; echo $?):$("$q" check --strict --store "$dir/n.db" >/dev/null; echo $?)"
check "explain: a fraction rounds as a till rounds it" "00123,004.56,004.56:0" \
  "$("$q" parse --store "$dir/n.db" --rule R01 --categories A,B 2100123004567),$("$q" explain --store "$dir/n.db" --rule R01 2100123004567 | sed -n 5p | awk '{print $7}'):$?"

# batch prints what parse prints, byte for byte, for every kind of line.
printf '\xef\xbb\xbf2100123004567\r\n21001\n\n21店铺码456789\n%s\n2100123' "$(printf '9%.0s' {1..300})" >"$dir/in.txt"
"$q" parse --store "$dir/d.db" --rule R01 --categories A,B,A <"$dir/in.txt" >"$dir/parse.out"
"$q" batch --store "$dir/d.db" --rule R01 --categories A,B,A "$dir/in.txt" >"$dir/batch.out"
check "batch equals parse" "" "$(cmp "$dir/parse.out" "$dir/batch.out")"
check "batch from stdin" "" "$("$q" batch --store "$dir/d.db" --rule R01 --categories A,B,A <"$dir/in.txt" | cmp - "$dir/parse.out")"
# The usual shape of a file: its last line ends with a line feed; a mark on a later line is text.
printf '2100123004567\n\xef\xbb\xbf2100123004567\n\n' >"$dir/lf.txt"
check "batch equals parse: last line feed, later mark" "" \
  "$(cmp <("$q" parse --store "$dir/d.db" --rule R01 --categories A,B <"$dir/lf.txt") <("$q" batch --store "$dir/d.db" --rule R01 --categories A,B "$dir/lf.txt"))"
printf '\xef\xbb\xbf' >"$dir/bom.txt"
check "only a byte-order mark: no barcodes" ":" \
  "$("$q" parse --store "$dir/d.db" --rule R01 --categories A,B <"$dir/bom.txt"):$("$q" batch --store "$dir/d.db" --rule R01 --categories A,B "$dir/bom.txt")"

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

# Hostile files: each refused with where and why, the store byte for byte as it was, and its
# tools still working on it.
good='{"format":"quorvel-rules","version":1,"categories":[],"rules":[{"gzid":"N","gzname":null,"dnmid":"2","txmzws":2,"levels":[{"js":1,"lbid":"A","startws":1,"endws":2,"xsws":0,"bz":""}]}]}'
deep=$(printf '%*s' 50000 '' | tr ' ' '[')
while IFS='|' read -r name from to message; do
  printf '%s' "${good/"$from"/$to}" >"$dir/hostile.json"
  check "hostile file: $name" "1:quorvel: $dir/hostile.json: $message; nothing was imported:$before:0:0" \
    "$("$q" import --store "$dir/e.db" "$dir/hostile.json" 2>"$dir/err"; echo "$?:$(head -c 300 "$dir/err"):$(sqlite3 "$dir/e.db" .dump):$("$q" check --store "$dir/e.db" >/dev/null; echo $?):$("$q" export --store "$dir/e.db" >/dev/null; echo $?)")"
done <<EOT
64-bit total|"txmzws":2|"txmzws":9223372036854775807|rules[0].txmzws (the rule's stored total length) 9223372036854775807 is outside -32768 to 32767, what the editor's 16-bit fields hold
level number past 16 bits|"js":1|"js":70000|rules[0].levels[0].js (the level number) 70000 is outside -32768 to 32767, what the editor's 16-bit fields hold
key given twice|"dnmid":"2"|"dnmid":"2","dnmid":"2999"|rules[0].dnmid is given twice
nested 50000 deep|"bz":""|"bz":$deep|line 1, column 178 nests deeper than a rules file does (5 levels)
NUL in a text|"gzname":null|"gzname":"a\u0000"|rules[0].gzname (the rule's name) holds a NUL character, which no statement can carry
EOT
head -c 60000000 /dev/zero | tr '\0' x >"$dir/big"
printf '{"format":"quorvel-rules","version":1,"categories":[{"id":"%s","name":null}],"rules":[]}' "$(cat "$dir/big")" >"$dir/hostile.json"
check "hostile file: a 60 MB text is not quoted" "1:short" \
  "$("$q" import --store "$dir/e.db" "$dir/hostile.json" 2>"$dir/err"; echo "$?:$([ "$(wc -c <"$dir/err")" -lt 300 ] && echo short)")"
# A wait for another change of the same rule is said, and the import goes on once it ends.
"$q" export --store "$dir/d.db" --rule R01 -o "$dir/r01.json"
cp "$dir/d.db" "$dir/l.db"
( (echo "begin immediate;"; sleep 3; echo "commit;") | sqlite3 "$dir/l.db" & )
sleep 0.5
check "import waits for a lock, and says so" "0:quorvel: waiting for the lock on rule R01: another change of it" \
  "$("$q" import --replace --store "$dir/l.db" "$dir/r01.json" 2>"$dir/err" >/dev/null; echo $?):$(head -c 63 "$dir/err")"
# A refused file ends with the count of what refused it.
"$q" export --store "$dir/d.db" --rule R01 --rule CZ18 -o "$dir/d.json"
check "refusals are counted" "quorvel: $dir/d.json: 2 refusals; nothing was imported" \
  "$("$q" import --store "$dir/d.db" "$dir/d.json" 2>&1 | tail -1)"
# A report that cannot be written after the commit says that the work is done.
check "import into a full output" "1:committed" \
  "$("$q" import --replace --store "$dir/e.db" "$dir/r01.json" >/dev/full 2>"$dir/err"; echo $?):$(grep -q 'imported all the same' "$dir/err" && echo committed)"
check "init into a full output" "1:committed" \
  "$("$q" init --store "$dir/f.db" >/dev/full 2>"$dir/err"; echo $?):$(grep -q 'created all the same' "$dir/err" && [ -s "$dir/f.db" ] && echo committed)"

if odbcinst -q -d -n SQLite3 >/dev/null 2>&1; then
  : >"$dir/o.db"  # the driver opens an existing file only
  "$q" init --conn "Driver={SQLite3};Database=$dir/o.db" >/dev/null
  roundtrip "SQLite3 driver" --conn "Driver={SQLite3};Database=$dir/o.db"
fi
if [ -n "${QUORVEL_TEST_PG_CONN:-}" ]; then
  pgdb="quorvel_tools_$$"
  echo "create database $pgdb" | isql -b -k "$QUORVEL_TEST_PG_CONN;Database=postgres" >/dev/null
  "$q" init --conn "$QUORVEL_TEST_PG_CONN;Database=$pgdb" >/dev/null
  roundtrip PostgreSQL --conn "$QUORVEL_TEST_PG_CONN;Database=$pgdb"
  # A session that holds what the import needs (here the table's write lock, for 3 s) is named.
  pgcs="$QUORVEL_TEST_PG_CONN;Database=$pgdb"
  echo 'do $$ begin lock table txm_gzzb in share row exclusive mode; perform pg_sleep(3); end $$' |
    isql -b -k "$pgcs" >/dev/null &
  sleep 1
  check "PostgreSQL: a wait names the session it waits for" "0:quorvel: the import of rule R01 waits for session" \
    "$("$q" import --replace --conn "$pgcs" "$dir/r01.json" 2>"$dir/err" >/dev/null; echo $?):$(grep -o '^quorvel: the import of rule R01 waits for session' "$dir/err")"
  wait
fi
if [ -n "${QUORVEL_TEST_TDS_CONN:-}" ]; then
  msdb="quorvel_tools_$$"
  echo "create database $msdb" | isql -b -k "$QUORVEL_TEST_TDS_ODBC;Database=master" >/dev/null
  ms="$QUORVEL_TEST_TDS_CONN;Initial Catalog=$msdb"
  "$q" init --conn "$ms" >/dev/null
  roundtrip "SQL Server" --conn "$ms"
  # Hostile and broken files leave a SQL Server's rules as they were.
  before=$("$q" export --conn "$ms")
  printf '%s' "${good/'"js":1'/'"js":70000'}" >"$dir/hostile.json"
  check "SQL Server: hostile file refused, rules unchanged" "1:$before" \
    "$("$q" import --conn "$ms" "$dir/hostile.json" 2>/dev/null; echo $?):$("$q" export --conn "$ms")"
  check "SQL Server: broken rule refused, rules unchanged" "1:$before" \
    "$("$q" import --conn "$ms" "$dir/bad.json" 2>/dev/null; echo $?):$("$q" export --conn "$ms")"
fi
exit $fail
