#!/usr/bin/env bash
# The command as a user runs it: init, parse (arguments and stdin), store-code, usage errors.
set -u
q="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; else echo "ok   $1"; fi
}

"$q" init --store "$dir/d.db" --demo >/dev/null
check "init again refuses" "1" "$("$q" init --store "$dir/d.db" >/dev/null 2>&1; echo $?)"
check "worked example" "00123,004.56" "$("$q" parse --store "$dir/d.db" --rule R01 --categories A,B 2100123004567)"
check "two barcodes" $'12345,01.250,009.98\n00042,00.755,012.34' \
  "$("$q" parse --store "$dir/d.db" --rule CZ18 --categories A,W,B 281234501250009987 280004200755012345)"
check "stdin" $'00123\n99999' "$(printf '2100123004567\r\n2199999\n' | "$q" parse --store "$dir/d.db" --rule R01 --categories A)"
check "store-code" "28" "$("$q" store-code --store "$dir/d.db" --rule cz18)"
check "conn string form" "004.56" "$("$q" parse --conn "Provider=SQLite;Data Source=$dir/d.db" --rule R01 --categories B 2100123004567)"
out=$("$q" parse --store "$dir/missing.db" --rule R01 --categories A 1 2>"$dir/err"); rc=$?
check "missing store: empty text" "" "$out"
check "missing store: exit 0" "0" "$rc"
check "missing store: message" "错误：: 数据库连接失败,请与管理员联系!" "$(cat "$dir/err")"
check "usage: no rule" "2" "$("$q" parse --store "$dir/d.db" --categories A 1 2>/dev/null; echo $?)"
check "usage: unknown option" "2" "$("$q" parse --bogus 2>/dev/null; echo $?)"
check "usage: unknown command" "2" "$("$q" frobnicate 2>/dev/null; echo $?)"
check "usage: both store and conn" "2" "$("$q" store-code --store a --conn b --rule R 2>/dev/null; echo $?)"
exit $fail
