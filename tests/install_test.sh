#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds a consumer project against it with
# find_package(Quorvel), and runs it on a demo store; the installed command imports every
# installed label layout; the man page renders without warnings and names every subcommand, and
# the bash completion completes subcommands, options and their values.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$1" --prefix "$work/prefix" >/dev/null
q="$work/prefix/bin/quorvel"
[ -x "$q" ] || fail "quorvel not installed"
share="$work/prefix/share"
diff -r "$here/../layouts" "$share/quorvel/layouts" || fail "the layouts are not installed as shipped"
cmp "$here/../schema/rules.schema.json" "$share/quorvel/rules.schema.json" || fail "the schema is not installed"
"$q" init --store "$work/layouts.db" >/dev/null
for f in "$share/quorvel/layouts"/*.json; do
  "$q" import --store "$work/layouts.db" "$f" >/dev/null || fail "the installed command cannot import $f"
done

man="$share/man/man1/quorvel.1"
[ -f "$man" ] || fail "no man page"
warnings=$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >"$work/man.txt") || fail "man cannot show the page"
[ -z "$warnings" ] || fail "the man page has warnings: $warnings"
subs=$("$q" help | awk '/^Subcommands:/ {f = 1; next} f && /^  [a-z]/ {print $1} f && /^$/ {exit}')
[ -n "$subs" ] || fail "quorvel help lists no subcommands"
for s in $subs; do
  grep -q "^   $s\$" "$work/man.txt" || fail "the man page has no section for $s"
  for o in $("$q" help "$s" | grep -o -- '--[a-z-]*' | sort -u); do
    grep -q -- "$o" "$work/man.txt" || fail "the man page does not name $s $o"
  done
done
grep -q "QUORVEL_CONN" "$work/man.txt" || fail "the man page does not name QUORVEL_CONN"

completion="$share/bash-completion/completions/quorvel"
[ -f "$completion" ] || fail "no bash completion"
complete_line() {  # the words bash would offer after the given command line (last word: the cursor's)
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quorvel; echo "${COMPREPLY[*]}"' _ "$completion" "$@"
}
while IFS='|' read -r words cur want; do
  # shellcheck disable=SC2086
  got=$(complete_line $words "$cur")
  [ "$got" == "$want" ] || fail "completing '$words $cur' gave '$got', not '$want'"
done <<EOT
quorvel|ba|batch
quorvel batch|--fo|--format
quorvel import|--dr|--dry-run
quorvel -q check|--st|--strict --store
quorvel help|st|store-code
quorvel check --format||text json tsv
EOT
[ "$(cd "$work" && complete_line quorvel export -o layo)" == "layouts.db" ] || fail "no file names offered"

# The README's layout examples, as written, by the installed command on the installed layouts:
# each command succeeds and prints every line shown for it ("..." stands for lines left out).
mkdir "$work/readme"
awk '/^## Ready layouts/ {on = 1} /^## The DLL/ {on = 0} on' "$here/../README.md" |
  awk '/^```$/ {block = !block; next} block' >"$work/readme.txt"
[ "$(grep -c '^\$ quorvel' "$work/readme.txt")" -ge 4 ] || fail "the README's layout example is not found"
run_readme() {  # command, expected lines
  local got line
  got=$(cd "$work/readme" && PATH="$work/prefix/bin:$PATH" && eval "${1//\/usr\/local/$work/prefix}" 2>&1) ||
    fail "README: '$1' failed"
  while IFS= read -r line; do
    [ "$line" == "..." ] || [ -z "$line" ] || grep -qxF -- "$line" <<<"$got" ||
      fail "README: '$1' does not print '$line'"
  done <<<"$2"
}
cmd="" expected=""
while IFS= read -r line; do
  if [ "${line:0:2}" == "\$ " ]; then
    [ -n "$cmd" ] && run_readme "$cmd" "$expected"
    cmd=${line:2} expected=""
  else
    expected+="$line"$'\n'
  fi
done <"$work/readme.txt"
run_readme "$cmd" "$expected"

cmake -S "$here/consumer" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
got="$("$work/build/consumer" "$work/demo.db" 2100123004567)"
[ "$got" == "00123,004.56" ] || fail "the consumer printed '$got'"
echo "ok: installed package found and linked; the consumer printed $got; $(ls "$share/quorvel/layouts" | wc -l) layouts imported; man page and completion installed"
