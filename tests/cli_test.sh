#!/usr/bin/env bash
# The command as a user runs it: every subcommand on each kind of store, in one table of
# (store state, command line) -> (stdout, stderr's first words, exit status); then what a table
# cannot say (stdin forms, file names, full and closed outputs).
set -u
q="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
unset QUORVEL_STORE QUORVEL_CONN
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; else echo "ok   $1"; fi
}
status() { "$@" >/dev/null 2>&1; echo $?; }
full() { "$@" >/dev/full 2>/dev/null; echo $?; }  # the status when nothing can be written

D="$dir/d.db" W="$dir/w.db" M="$dir/missing.db" E="$dir/empty.db" T="$dir/text.db" B="$dir/b.db"
"$q" init --store "$D" --demo >/dev/null
: >"$E"
echo "not a store" >"$T"
# Tables of a store made by hand that lack the in-store code column: a till's query fails.
sqlite3 "$B" "create table txm_gzzb(gzid,gzname,txmzws); insert into txm_gzzb values('R','r',1);
  create table txm_gzmx(gzid,js,lbid,startws,endws,xsws,bz); create table glsx(id,name,fid)"
"$q" export --store "$D" --rule R01 -o "$dir/r01.json"
sed 's/"商品编码"/"item"/' "$dir/r01.json" >"$dir/renamed.json"
l=2100123004560 # a valid EAN-13 label of R01

# State of $W before the row: demo (a copy of the demo store), tables (a store without rules),
# none (no file). Stdout "..." at the end: only its start is compared. Exit statuses: 0 done,
# 1 findings or refused input, 2 usage, 3 the store cannot be reached.
while IFS= read -r row; do
  [ -z "$row" ] && continue
  IFS='~' read -r state cmd out err rc <<<"$row"
  state=$(echo $state) rc=$(echo $rc) out=$(echo "$out" | sed -E 's/^ +//; s/ +$//') err=$(echo "$err" | sed -E 's/^ +//; s/ +$//')
  rm -f "$W"
  case $state in
    demo) cp "$D" "$W" ;;
    tables) "$q" init --store "$W" >/dev/null ;;
  esac
  eval "$cmd" >"$dir/out" 2>"$dir/err"
  got_rc=$?
  want_out=$(printf '%b' "$out") got_out=$(cat "$dir/out")
  [ "${want_out%...}" != "$want_out" ] && want_out=${want_out%...} got_out=${got_out:0:${#want_out}}
  got_err=$(head -1 "$dir/err")
  check "$cmd" "$want_out|$err|$rc" "$got_out|${got_err:0:${#err}}$([ -z "$err" ] && cat "$dir/err")|$got_rc"
done <<EOT
none   ~ \$q init --store \$W                                    ~ created $W               ~                                         ~ 0
demo   ~ \$q init --store \$W                                    ~                          ~ quorvel: The store exists already       ~ 1
none   ~ \$q init --conn "Driver={SQLite3};Database=\$W"         ~                          ~ quorvel: the SQLite database $W does not exist ~ 3
none   ~ \$q init                                                ~                          ~ quorvel: no store: give --store         ~ 2
demo   ~ \$q parse --store \$W --rule R01 --categories A,B 2100123004567 ~ 00123,004.56    ~                                         ~ 0
demo   ~ \$q parse --store \$W --rule r01 --categories A,W,B 2100123004567 ~ 00123,,004.56 ~ quorvel: rule r01 does not cut category W; it cuts A, B ~ 1
demo   ~ \$q parse --store \$W --rule NOPE --categories A,B 2100123004567 ~ ,             ~ quorvel: there is no rule NOPE in the store; its rules: CZ18, R01 ~ 1
demo   ~ \$q parse --store \$W --rule R01 --categories "A, B" 2100123004567 ~ 00123,      ~ quorvel: ' B' is not a segment category of the store (mind the space ~ 1
demo   ~ \$q parse --store \$W --rule R01 --categories A,,B 1    ~ ,,                       ~ quorvel: item 2 of the category list    ~ 1
none   ~ \$q parse --store \$W --rule R01 --categories A 1       ~                          ~ quorvel: there is no store $W: create one with 'quorvel init --store $W' ~ 3
none   ~ \$q parse --conn "Driver={SQLite3};Database=\$W" --rule R01 --categories A 1 ~     ~ quorvel: the SQLite database            ~ 3
none   ~ \$q parse --conn "Driver={No Such Driver};PWD=pw-9" --rule R01 --categories A 1 ~  ~ quorvel: cannot reach the database of the connection string: [unixODBC][Driver Manager]Can't open lib 'No Such Driver' ~ 3
none   ~ \$q parse --store \$E --rule R01 --categories A 1       ~                          ~ quorvel: the store $E holds no rule tables (no such table: txm_gzzb) ~ 3
none   ~ \$q parse --store \$T --rule R01 --categories A 1       ~                          ~ quorvel: the store $T holds no rule tables (file is not a database) ~ 3
demo   ~ \$q store-code --store \$W --rule cz18                  ~ 28                       ~                                         ~ 0
demo   ~ \$q store-code --store \$W --rule X                     ~                          ~ quorvel: there is no rule X             ~ 1
none   ~ \$q store-code --store \$W --rule X                     ~                          ~ quorvel: there is no store              ~ 3
none   ~ \$q store-code --store \$B --rule R                     ~                          ~ quorvel: 系统提示: no such column: dnmid ~ 3
demo   ~ \$q check --store \$W                                   ~                          ~                                         ~ 0
demo   ~ \$q check --store \$W --rule NOPE --format tsv          ~ rule\tlevel\tcode\tbreaks\twhere\tproblem\nNOPE\t\tno-rule\tyes\t\tthere is no such rule ~ ~ 1
none   ~ \$q check --store \$W                                   ~                          ~ quorvel: there is no store              ~ 3
none   ~ \$q check --store \$E                                   ~                          ~ quorvel: the store $E holds no rule tables ~ 3
demo   ~ \$q explain --store \$W --rule R01 --format tsv \$l     ~ barcode\tlevel\tcategory\tpositions\tcharacters\tcut\tvalue\tnote\n$l\t1\tA 商品编码\t1-5\t3-7\t00123\t00123\t\n$l\t2\tB 金额\t6-10\t8-12\t00456\t004.56\t ~ ~ 0
demo   ~ \$q explain --store \$W --rule R01 2100123004567        ~ rule R01 示例规则: in-store code 21... ~ quorvel: 1 of 1 labels are not valid for rule R01 ~ 1
demo   ~ \$q -q explain --store \$W --rule R01 2100123004567 | tail -1 ~ check digit: 7 is not a valid EAN-13 check digit; it would be 0 ~ ~ 0
demo   ~ \$q explain --store \$W --rule R01 --format json 2200123004566 ~ {"rule":"R01","barcode":"2200123004566","valid":false,"faults":["does not begin with the in-store code 21"... ~ quorvel: 1 of 1 labels ~ 1
demo   ~ printf '$l\n$l\n' | \$q explain --store \$W --rule R01 --format json - | grep -c '"valid":true' ~ 2 ~ ~ 0
demo   ~ \$q explain --store \$W --rule NOPE 1                   ~                          ~ quorvel: there is no rule NOPE          ~ 1
none   ~ \$q explain --store \$W --rule R01 1                    ~                          ~ quorvel: there is no store              ~ 3
demo   ~ echo 2100123004567 | \$q batch --store \$W --rule R01 --categories A,B ~ 00123,004.56 ~                                 ~ 0
demo   ~ echo 2100123004567 | \$q batch --store \$W --rule R01 --categories A,B --echo ~ 2100123004567\t00123,004.56 ~                ~ 0
demo   ~ echo 2100123004567 | \$q batch --store \$W --rule R01 --categories A,B --echo --format tsv ~ barcode\tA\tB\n2100123004567\t00123\t004.56 ~ ~ 0
demo   ~ echo 2100123004567 | \$q batch --store \$W --rule R01 --categories B --format json - ~ {"values":["004.56"]} ~            ~ 0
demo   ~ echo 2100123004567 | \$q batch --store \$W --rule NOPE --categories A,B ~           ~ quorvel: there is no rule NOPE          ~ 1
demo   ~ echo 2100123004567 | \$q batch --store \$W --rule R01 --categories A,PRICE ~        ~ quorvel: 'PRICE' is not a segment category ~ 1
demo   ~ \$q batch --store \$W --rule R01 --categories A \$W.txt ~                          ~ quorvel: cannot open $W.txt: No such file or directory ~ 1
none   ~ echo 1 | \$q batch --store \$W --rule R01 --categories A ~                         ~ quorvel: there is no store              ~ 3
none   ~ echo 1 | \$q batch --store \$T --rule R01 --categories A ~                         ~ quorvel: the store $T holds no rule tables ~ 3
demo   ~ \$q export --store \$W --rule R01 -o - | cmp - \$dir/r01.json && echo same ~ same   ~                                         ~ 0
demo   ~ \$q export --store \$W --rule NOPE                      ~                          ~ quorvel: There is no rule NOPE          ~ 1
none   ~ \$q export --store \$W                                  ~                          ~ quorvel: there is no store              ~ 3
tables ~ \$q import --store \$W - <\$dir/r01.json               ~ category A: added\ncategory B: added\nR01: imported, 2 levels\n1 rules imported, 0 replaced; 2 categories added, 0 renamed ~ ~ 0
demo   ~ \$q import --store \$W \$dir/r01.json                   ~                          ~ quorvel: R01: the rule exists (--replace replaces it) ~ 1
demo   ~ \$q import --store \$W \$dir/r01.json --replace --format tsv ~ action\tkind\tid\tlevels\treason\nreplaced\trule\tR01\t2\t ~ ~ 0
demo   ~ \$q import --store \$W \$dir/renamed.json --replace     ~                          ~ quorvel: category A: the store names it 商品编码, the file item (--rename-categories renames it) ~ 1
demo   ~ \$q import --store \$W \$dir/renamed.json --replace --rename-categories --dry-run ~ category A: renamed\nR01: replaced, 2 levels\ndry run, nothing changed: it would be 0 rules imported, 1 replaced; 0 categories added, 1 renamed ~ ~ 0
demo   ~ \$q import --store \$W \$dir/renamed.json --replace --rename-categories --dry-run >/dev/null; \$q export --store \$W --rule R01 | cmp - \$dir/r01.json && echo unchanged ~ unchanged ~ ~ 0
demo   ~ \$q import --store \$W \$dir/renamed.json --replace --rename-categories --format json ~ {"dryRun":false,"imported":true,"categoriesAdded":[],"categoriesRenamed":["A"],"rulesImported":[],"rulesReplaced":["R01"],"refused":[],"counts":{"categoriesAdded":0,"categoriesRenamed":1,"rulesImported":0,"rulesReplaced":1,"refused":0}} ~ ~ 0
demo   ~ \$q import --store \$W \$W.json                         ~                          ~ quorvel: cannot read $W.json: No such file or directory; nothing was imported ~ 1
none   ~ \$q import --store \$W \$dir/r01.json                   ~                          ~ quorvel: there is no store              ~ 3
demo   ~ QUORVEL_STORE=\$W \$q store-code --rule R01            ~ 21                       ~                                         ~ 0
demo   ~ QUORVEL_CONN="Provider=SQLite;Data Source=\$W" \$q -v store-code --rule R01 ~ 21   ~ quorvel: store: the database of the connection string ~ 0
demo   ~ QUORVEL_STORE=\$W QUORVEL_CONN=x \$q store-code --rule R01 ~                       ~ quorvel: both QUORVEL_STORE and QUORVEL_CONN are set ~ 2
demo   ~ QUORVEL_STORE=\$M \$q store-code --store \$W --rule R01 ~ 21                       ~                                         ~ 0
none   ~ \$q help                                                ~ quorvel: cuts shop barcodes... ~                                 ~ 0
none   ~ \$q help import                                         ~ Adds the rules of a JSON file to a store.... ~                   ~ 0
none   ~ \$q help frob                                           ~                          ~ quorvel: unknown subcommand 'frob'      ~ 2
none   ~ \$q frob --store \$D                                    ~                          ~ quorvel: unknown subcommand 'frob'; the subcommands: init, parse, store-code, check, explain, batch, export, import, help ~ 2
none   ~ \$q                                                     ~                          ~ quorvel: A subcommand is required       ~ 2
none   ~ \$q -V                                                  ~ quorvel 1.0.0            ~                                         ~ 0
none   ~ \$q --version                                           ~ quorvel 1.0.0            ~                                         ~ 0
none   ~ \$q check --help                                        ~ Finds the rules a till can never cut correctly.... ~             ~ 0
none   ~ \$q parse --store \$D --categories A 1                  ~                          ~ quorvel: --rule is required             ~ 2
none   ~ \$q parse --store \$D --rule R01 --categories A --bogus ~                          ~ quorvel: The following argument was not expected: --bogus ~ 2
none   ~ \$q parse -store \$D --rule R01 --categories A 1        ~                          ~ quorvel:                                ~ 2
none   ~ \$q store-code --store a --conn b --rule R              ~                          ~ quorvel:                                ~ 2
none   ~ \$q check --store \$D --format xml                      ~                          ~ quorvel: --format: xml not in {text,json,tsv} ~ 2
none   ~ \$q init --store \$W extra                              ~                          ~ quorvel: The following argument was not expected: extra ~ 2
EOT
check "a dry run changes nothing, then the import does" "unchanged:0" \
  "$(cp "$D" "$W"; "$q" import --store "$W" "$dir/renamed.json" --replace --rename-categories --dry-run >/dev/null
     "$q" export --store "$W" --rule R01 | cmp -s - "$dir/r01.json" && echo unchanged):$("$q" -q import --store "$W" "$dir/renamed.json" --replace --rename-categories >/dev/null; echo $?)"

check "two barcodes" $'12345,01.250,009.98\n00042,00.755,012.34' \
  "$("$q" parse --store "$D" --rule CZ18 --categories A,W,B 281234501250009987 280004200755012345)"
check "stdin: BOM dropped, LF or CRLF, - or nothing" $'00123\n99999\n00042|00123\n99999\n00042' \
  "$(printf '\xef\xbb\xbf2100123004567\r\n2199999\n2100042' | "$q" parse --store "$D" --rule R01 --categories A)|$(printf '\xef\xbb\xbf2100123004567\r\n2199999\n2100042' | "$q" parse --store "$D" --rule R01 --categories A -)"

# File names that a connection string could misread.
weird="$dir/a\"b;c d 中'.db"
"$q" init --store "$weird" --demo >/dev/null
check "odd file name: the store is that file" "00123|28|no" \
  "$("$q" parse --store "$weird" --rule R01 --categories A 2100123004567)|$("$q" store-code --store "$weird" --rule CZ18)|$([ -e "$dir/a" ] && echo yes || echo no)"
check "file name not UTF-8: usage error" "2" "$(status "$q" parse --store "$dir/$(printf '\xff').db" --rule R01 --categories A 1)"

# A full output fails the command and says so; a closed pipe ends it quietly, as SIGPIPE does.
check "write error: arguments, stdin, store-code, help, version" "1:1:1:1:1:1" \
  "$(full "$q" parse --store "$D" --rule R01 --categories A 1 2):$(echo 1 | full "$q" parse --store "$D" --rule R01 --categories A):$(full "$q" store-code --store "$D" --rule CZ18):$(full "$q" --help):$(full "$q" --version):$(full "$q" check --help)"
check "write error: message" "quorvel: cannot write the output: No space left on device" \
  "$("$q" store-code --store "$D" --rule CZ18 2>&1 >/dev/full)"
yes 2100123004567 | head -200000 >"$dir/many.txt"
closed() {  # the status and stderr of a command whose reader stops after one byte
  "$@" 2>"$dir/err" | head -c 1 >/dev/null
  echo "${PIPESTATUS[0]}:$(cat "$dir/err")"
}
check "closed pipe: batch, batch tsv, parse" "141:|141:|141:" \
  "$(closed "$q" batch --store "$D" --rule R01 --categories A,B "$dir/many.txt")|$(closed "$q" batch --store "$D" --rule R01 --categories A,B --format tsv "$dir/many.txt")|$(closed "$q" parse --store "$D" --rule R01 --categories A,B - <"$dir/many.txt")"
# Work over a second shows its progress on a terminal (here one that script(1) provides), and
# nothing when stderr is not one.
yes 2100123004567 | head -8000000 >"$dir/long.txt"
long="$q batch --store $D --rule R01 --categories A,B --format tsv $dir/long.txt"
check "progress on a terminal only" "shown:" \
  "$(script -qec "$long >/dev/null" /dev/null | grep -q 'quorvel batch: [0-9]* lines' && echo shown):$($long 2>&1 >/dev/null)"
exit $fail
