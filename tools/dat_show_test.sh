#!/usr/bin/env bash
# dat show and dat ls --type over the sample world: every file a type's id rule
# selects decodes to one JSON document, indented and compact alike, and each
# failure is one "error:" line with exit 1 (usage errors exit 2):
#   dat_show_test.sh RAVELIN_BAKE WORK_DIR
set -uo pipefail
bake=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }
same_json() { /usr/bin/python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1])) != json.load(open(sys.argv[2])))' "$1" "$2"; }

"$bake" sample-world "$work/world" >/dev/null 2>&1 || { echo "sample-world failed" >&2; exit 1; }
portal=$work/world/client_portal.dat cell=$work/world/client_cell_1.dat

for type in region setup motion-table animation physics-script cell-landblock landblock-info; do
  case $type in cell-landblock | landblock-info) archive=$cell ;; *) archive=$portal ;; esac
  "$bake" dat ls "$archive" --type "$type" >"$work/$type.ls"
  check "$type: some ids listed" "[ -s '$work/$type.ls' ]"
  while read -r id _; do
    "$bake" dat show "$archive" "$id" --compact >"$work/one.json" 2>"$work/one.err"
    check "$type $id shows" "[ $? = 0 ] && [ ! -s '$work/one.err' ] && [ \$(wc -l <'$work/one.json') = 1 ]"
    check "$type $id names itself" "grep -q '^{\"id\":\"$id\"' '$work/one.json'"
  done <"$work/$type.ls"
done
check "one region" "[ \"\$(cat '$work/region.ls')\" = \"\$(\"$bake\" dat ls '$portal' | grep '^0x13000000 ')\" ]"
check "the type lists cover the cell archive" \
  "[ \$(cat '$work/cell-landblock.ls' '$work/landblock-info.ls' | wc -l) = \$(\"$bake\" dat ls '$cell' | wc -l) ]"

"$bake" dat show "$portal" 0x33000300 >"$work/indented.json"
"$bake" dat show "$portal" 0x33000300 --compact >"$work/compact.json"
check "indented spans lines" "[ \$(wc -l <'$work/indented.json') -gt 10 ] && grep -q '^  \"script_data\": \[$' '$work/indented.json'"
check "indented and compact hold the same document" "same_json '$work/indented.json' '$work/compact.json'"
check "--type reads any id" "\"$bake\" dat show '$portal' 0x33000300 --type physics-script --compact | cmp -s - '$work/compact.json'"

expect_error() {  # name, status, stderr pattern, command...
  local name=$1 status=$2 pattern=$3
  shift 3
  "$@" >"$work/err.out" 2>"$work/err.txt"
  check "$name exits $status" "[ $? = $status ]"
  check "$name prints nothing" "[ ! -s '$work/err.out' ]"
  if [ "$status" = 1 ]; then check "$name: one error line" "[ \$(wc -l <'$work/err.txt') = 1 ]"; fi
  check "$name: message" "grep -q -- '$pattern' '$work/err.txt'"
}
expect_error "id without a type" 1 '^error: no record type for file id 0x01000001 .*--type' "$bake" dat show "$portal" 0x01000001
expect_error "cell id in the portal archive" 1 '^error: no record type for file id 0xA9B4FFFF' "$bake" dat show "$portal" 0xA9B4FFFF
expect_error "missing file" 1 "^error: $portal: File ID 33000999 not found in provider\$" "$bake" dat show "$portal" 0x33000999
expect_error "missing file (get)" 1 "^error: $portal: File ID 33000999 not found in provider\$" "$bake" dat get "$portal" 0x33000999
expect_error "undecodable file" 1 '^error: Binary read error: ' "$bake" dat show "$portal" 0x13000000 --type setup
expect_error "missing archive" 1 '^error: ' "$bake" dat show "$work/nowhere.dat" 0x13000000
expect_error "unknown type" 2 'not a record type: weather' "$bake" dat show "$portal" 0x13000000 --type weather
expect_error "unknown ls type" 2 'not a record type: weather' "$bake" dat ls "$portal" --type weather
[ "$fails" = 0 ] && echo "dat show: all checks passed"
exit $((fails != 0))
