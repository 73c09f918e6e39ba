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
status() { "$@" >/dev/null 2>&1; echo $?; }
full() { "$@" >/dev/full 2>/dev/null; echo $?; }  # the status when nothing can be written

"$q" init --store "$dir/d.db" --demo >/dev/null
check "init again refuses" "1" "$(status "$q" init --store "$dir/d.db")"
check "worked example" "00123,004.56" "$("$q" parse --store "$dir/d.db" --rule R01 --categories A,B 2100123004567)"
check "two barcodes" $'12345,01.250,009.98\n00042,00.755,012.34' \
  "$("$q" parse --store "$dir/d.db" --rule CZ18 --categories A,W,B 281234501250009987 280004200755012345)"
check "stdin: BOM dropped, LF or CRLF" $'00123\n99999\n00042' \
  "$(printf '\xef\xbb\xbf2100123004567\r\n2199999\n2100042' | "$q" parse --store "$dir/d.db" --rule R01 --categories A)"
check "store-code" "28" "$("$q" store-code --store "$dir/d.db" --rule cz18)"
check "conn string form" "004.56" "$("$q" parse --conn "Provider=SQLite;Data Source=$dir/d.db" --rule R01 --categories B 2100123004567)"
out=$("$q" parse --store "$dir/missing.db" --rule R01 --categories A 1 2>"$dir/err"); rc=$?
check "missing store: empty text" "" "$out"
check "missing store: exit 0" "0" "$rc"
check "missing store: message" "错误：: 数据库连接失败,请与管理员联系!" "$(cat "$dir/err")"
# Each result line is out before the next barcode's message, also into a pipe.
check "messages stay next to their barcode" $'错误：: 数据库连接失败,请与管理员联系!\n\n错误：: 数据库连接失败,请与管理员联系!' \
  "$("$q" parse --store "$dir/missing.db" --rule R01 --categories A 1 2 2>&1 | cat)"

# File names that a connection string could misread.
weird="$dir/a\"b;c d 中'.db"
"$q" init --store "$weird" --demo >/dev/null
check "odd file name: the store is that file" "00123|28|no" \
  "$("$q" parse --store "$weird" --rule R01 --categories A 2100123004567)|$("$q" store-code --store "$weird" --rule CZ18)|$([ -e "$dir/a" ] && echo yes || echo no)"
check "file name not UTF-8: usage error" "2" "$(status "$q" parse --store "$dir/$(printf '\xff').db" --rule R01 --categories A 1)"

# A write error on standard output fails the command.
check "write error: arguments" "1" "$(full "$q" parse --store "$dir/d.db" --rule R01 --categories A 1 2)"
check "write error: stdin" "1" "$(echo 1 | full "$q" parse --store "$dir/d.db" --rule R01 --categories A)"
check "write error: store-code" "1" "$(full "$q" store-code --store "$dir/d.db" --rule CZ18)"
check "write error: message" "quorvel: cannot write the output: No space left on device" \
  "$("$q" store-code --store "$dir/d.db" --rule CZ18 2>&1 >/dev/full)"

while read -r expected args; do
  # shellcheck disable=SC2086
  check "exit $expected: $args" "$expected" "$(status "$q" $args)"
done <<EOT
0 --help
0 --version
0 init --help
0 parse --help
0 store-code --help
2
2 frobnicate
2 parse --store $dir/d.db --categories A 1
2 parse --bogus
2 parse --store $dir/d.db --rule R01 --categories A -x 1
2 parse -store $dir/d.db --rule R01 --categories A 1
2 store-code --store a --conn b --rule R
2 store-code --rule R
2 init --store $dir/new.db extra
EOT
check "--version" "quorvel 1.0.0" "$("$q" --version)"
check "help and version into a full output fail" "1:1:1" \
  "$(full "$q" --help):$(full "$q" --version):$(full "$q" check --help)"
exit $fail
