#!/usr/bin/env bash
# The JSON Schema of a rules file says what import takes: every shipped layout and every export
# passes it, and files that import refuses for their form fail it too.
# Usage: schema_test.sh QUORVEL SOURCE_DIR
set -u
q="$1"
src="$2"
schema="$src/schema/rules.schema.json"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2] got [$3]"; fail=1; else echo "ok   $1"; fi
}
valid() {  # yes when the file passes the schema
  python3 - "$schema" "$1" <<'PY'
import json, sys, jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
errors = list(jsonschema.Draft202012Validator(schema).iter_errors(json.load(open(sys.argv[2]))))
print("yes" if not errors else "no")
PY
}

for f in "$src"/layouts/*.json; do
  check "layout $(basename "$f") passes" "yes" "$(valid "$f")"
done
"$q" init --store "$dir/d.db" --demo >/dev/null
sqlite3 "$dir/d.db" "update txm_gzzb set gzname=null, txmzws=null where gzid='R01'; update txm_gzmx set bz=null, lbid=null where gzid='CZ18' and js=3"
"$q" export --store "$dir/d.db" -o "$dir/export.json"
check "an export with Nulls passes" "yes" "$(valid "$dir/export.json")"

# One change each to a good file: whether the schema takes it, and whether import does.
good='{"format":"quorvel-rules","version":1,"categories":[{"id":"A","name":null}],"rules":[{"gzid":"N","gzname":null,"dnmid":"2","txmzws":2,"levels":[{"js":1,"lbid":"A","startws":1,"endws":2,"xsws":0,"bz":""}]}]}'
while IFS='|' read -r name from to want; do
  printf '%s' "${good/"$from"/$to}" >"$dir/f.json"
  "$q" init --store "$dir/e$name.db" >/dev/null
  imported=$("$q" import --store "$dir/e$name.db" "$dir/f.json" >/dev/null 2>&1 && echo yes || echo no)
  check "$name: schema and import agree" "$want:$want" "$(valid "$dir/f.json"):$imported"
done <<EOT
as is|"bz":""|"bz":""|yes
a description|"version":1|"version":1,"description":["from the head office"]|yes
another format|quorvel-rules|rules|no
version 2|"version":1|"version":2|no
an unknown member|"js":1|"js":1,"colour":"red"|no
a missing member|,"bz":""||no
a text for a number|"startws":1|"startws":"1"|no
a fraction|"endws":2|"endws":2.5|no
beyond 16 bits|"xsws":0|"xsws":40000|no
a rule id of 21 characters|"gzid":"N"|"gzid":"NNNNNNNNNNNNNNNNNNNNN"|no
an empty rule id|"gzid":"N"|"gzid":""|no
a null category id|"id":"A"|"id":null|no
a name of 51 characters|"name":null|"name":"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"|no
EOT
exit $fail
