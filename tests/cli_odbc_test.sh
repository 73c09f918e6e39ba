#!/usr/bin/env bash
# The command over ODBC prints exactly what it prints on the embedded store for the same rules:
# the same file through the SQLite3 ODBC driver, a store that init made through that driver, and
# (when the test script started them) a PostgreSQL database and a SQL Server database, reached with
# a host's own connection string, that init filled.
set -u
q="$1"
dir=$(mktemp -d)
pgdb=""
msdb=""
cleanup() {
  if [ -n "$pgdb" ]; then
    echo "drop database if exists $pgdb with (force)" | isql -b -k "$QUORVEL_TEST_PG_CONN;Database=postgres" >/dev/null 2>&1
  fi
  [ -n "$msdb" ] && echo "drop database $msdb" | isql -b -k "$QUORVEL_TEST_TDS_ODBC;Database=master" >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; else echo "ok   $1"; fi
}

# Every way of asking, on one connection option ($1 $2): the demo rules' answers and messages.
answers() {
  "$q" parse "$1" "$2" --rule R01 --categories A,B 2100123004567 2>&1
  "$q" parse "$1" "$2" --rule r01 --categories A,C,B,,B 2100123004567 21001 2>&1
  "$q" parse "$1" "$2" --rule CZ18 --categories A,W,B 281234501250009987 280004200755001234 2>&1
  printf '2100123004567\r\n2199999\n\n' | "$q" parse "$1" "$2" --rule R01 --categories B,A 2>&1
  "$q" parse "$1" "$2" --rule "O'X" --categories "A' or '1'='1" 2100123004567 2>&1
  "$q" store-code "$1" "$2" --rule cz18 2>&1
  "$q" store-code "$1" "$2" --rule nothing 2>&1
}

"$q" init --store "$dir/d.db" --demo >/dev/null
embedded=$(answers --store "$dir/d.db")
check "embedded answers are the demo's" "00123,004.56" "$(echo "$embedded" | head -1)"

check "same file through the SQLite3 driver" "$embedded" "$(answers --conn "Driver={SQLite3};Database=$dir/d.db")"
check "through the ODBC provider" "$embedded" "$(answers --conn "Provider=MSDASQL;Driver={SQLite3};Database=$dir/d.db")"

: >"$dir/o.db"  # the command never lets the driver create a file
check "init through the driver" "created the rule tables with demo data" \
  "$("$q" init --conn "Driver={SQLite3};Database=$dir/o.db" --demo)"
check "a store made through the driver" "$embedded" "$(answers --conn "Driver={SQLite3};Database=$dir/o.db")"
check "init again refuses" "1" "$("$q" init --conn "Driver={SQLite3};Database=$dir/o.db" --demo >/dev/null 2>&1; echo $?)"
check "and leaves the rules as they were" "$embedded" "$(answers --conn "Driver={SQLite3};Database=$dir/o.db")"

# An unknown driver (its parse is in cli_test.sh's table): named, and the password never.
check "init on an unknown driver names it, not the password" "3:yes:no" \
  "$("$q" init --conn "Driver={No Such Driver};PWD=pw-secret-9" 2>"$dir/err" >/dev/null; echo "$?:$(grep -q 'No Such Driver' "$dir/err" && echo yes || echo no):$(grep -q pw-secret-9 "$dir/err" && echo yes || echo no)")"

if [ -n "${QUORVEL_TEST_PG_CONN:-}" ]; then
  pgdb="quorvel_cli_$$"
  echo "create database $pgdb" | isql -b -k "$QUORVEL_TEST_PG_CONN;Database=postgres" >/dev/null
  check "init on PostgreSQL" "created the rule tables with demo data" \
    "$("$q" init --conn "$QUORVEL_TEST_PG_CONN;Database=$pgdb" --demo)"
  check "PostgreSQL answers as the embedded store" "$embedded" "$(answers --conn "$QUORVEL_TEST_PG_CONN;Database=$pgdb")"
fi
if [ -n "${QUORVEL_TEST_TDS_CONN:-}" ]; then
  msdb="quorvel_cli_$$"
  echo "create database $msdb" | isql -b -k "$QUORVEL_TEST_TDS_ODBC;Database=master" >/dev/null
  ms="$QUORVEL_TEST_TDS_CONN;Initial Catalog=$msdb"
  check "init on SQL Server" "created the rule tables with demo data" "$("$q" init --conn "$ms" --demo)"
  check "SQL Server answers as the embedded store" "$embedded" "$(answers --conn "$ms")"
  check "init again on SQL Server says why, not how the rollback failed" \
    "1:quorvel: The database has rule tables already (txm_gzzb, txm_gzmx, glsx); nothing was changed." \
    "$("$q" init --conn "$ms" --demo 2>"$dir/err" >/dev/null; echo "$?:$(cat "$dir/err")")"
fi
exit $fail
