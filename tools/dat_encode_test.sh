#!/usr/bin/env bash
# dat encode over the sample world: every record's document (indented, compact,
# from a file or standard input) encodes to the bytes `dat get` gives; an edit
# changes exactly its bytes; bad documents and ambiguous ids fail with one
# "error:" line (exit 1; usage errors exit 2). Then every record of the
# damaged-input cases that still decodes round-trips:
#   dat_encode_test.sh RAVELIN_BAKE RECORD_ROUND_TRIP_TEST DAMAGED_INPUTS WORK_DIR
set -uo pipefail
bake=$1 round_trip=$2 damaged=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }

"$bake" sample-world "$work/world" >/dev/null 2>&1 || { echo "sample-world failed" >&2; exit 1; }
portal=$work/world/client_portal.dat cell=$work/world/client_cell_1.dat

records=0
for type in region setup motion-table animation physics-script cell-landblock landblock-info; do
  case $type in cell-landblock | landblock-info) archive=$cell ;; *) archive=$portal ;; esac
  for id in $("$bake" dat ls "$archive" --type "$type" | cut -d' ' -f1); do
    records=$((records + 1))
    "$bake" dat get "$archive" "$id" >"$work/stored.bin"
    "$bake" dat show "$archive" "$id" >"$work/one.json"
    "$bake" dat encode "$work/one.json" >"$work/encoded.bin" 2>"$work/encode.err"
    check "$type $id encodes to its bytes" "[ $? = 0 ] && [ ! -s '$work/encode.err' ] && cmp -s '$work/stored.bin' '$work/encoded.bin'"
    # --type says what the id says; a cell record's id would name a region or setup in the portal archive.
    "$bake" dat show "$archive" "$id" --compact | "$bake" dat encode - --type "$type" -o "$work/from_stdin.bin"
    check "$type $id: compact, from standard input, -o" "[ $? = 0 ] && cmp -s '$work/stored.bin' '$work/from_stdin.bin'"
  done
done
check "every type's records" "[ $records -gt 40 ]"

# An edit: the physics script's first emitter id, then its bytes.
"$bake" dat show "$portal" 0x33000300 >"$work/script.json"
/usr/bin/python3 - "$work/script.json" "$work/edited.json" <<'EOF'
import json, sys
doc = json.load(open(sys.argv[1]))
hook = next(d["hook"] for d in doc["script_data"] if "emitter_id" in d["hook"])
hook["emitter_id"] = "0x32ABCDEF"
json.dump(doc, open(sys.argv[2], "w"))
EOF
"$bake" dat get "$portal" 0x33000300 >"$work/script.bin"
"$bake" dat encode "$work/edited.json" -o "$work/edited.bin"
check "an edit changes its four bytes alone" "/usr/bin/python3 -c '
import sys
old, new = open(sys.argv[1], \"rb\").read(), open(sys.argv[2], \"rb\").read()
at = new.find(bytes.fromhex(\"efcdab32\"))
sys.exit(not (len(old) == len(new) and at >= 0 and old[:at] == new[:at] and old[at + 4:] == new[at + 4:]))
' '$work/script.bin' '$work/edited.bin'"

expect_error() {  # name, status, stderr pattern, command...
  local name=$1 status=$2 pattern=$3
  shift 3
  "$@" >"$work/err.out" 2>"$work/err.txt"
  check "$name exits $status" "[ $? = $status ]"
  check "$name prints nothing" "[ ! -s '$work/err.out' ]"
  if [ "$status" = 1 ]; then check "$name: one error line" "[ \$(wc -l <'$work/err.txt') = 1 ]"; fi
  check "$name: message" "grep -q -- '$pattern' '$work/err.txt'"
}
"$bake" dat show "$cell" 0xA9B4FFFF >"$work/cell.json"
sed 's/"0xA9B4FFFF"/"0x1300FFFF"/' "$work/cell.json" >"$work/clash.json"
expect_error "an id of two types" 1 \
  '^error: .*clash.json: /id: 0x1300FFFF names a cell-landblock in a cell archive and a region in any other: name the type with --type (cell-landblock or region)$' \
  "$bake" dat encode "$work/clash.json"
"$bake" dat encode "$work/clash.json" --type cell-landblock -o "$work/clash.bin"
check "--type settles it" "[ \$(wc -c <'$work/clash.bin') = 252 ]"
sed 's/"0xA9B4FFFF"/"0x01000001"/' "$work/cell.json" >"$work/untyped.json"
expect_error "an id of no type" 1 '^error: .*untyped.json: /id: 0x01000001 names no record type: name one with --type (region, ' \
  "$bake" dat encode "$work/untyped.json"
/usr/bin/python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); d["script_data"][0]["hook"]["hook_type"] = "13"; json.dump(d, open(sys.argv[2], "w"))' \
  "$work/script.json" "$work/bad.json"
expect_error "a value of the wrong type" 1 '^error: .*bad.json: /script_data/0/hook/hook_type: expected an unsigned 32-bit integer$' \
  "$bake" dat encode "$work/bad.json"
expect_error "not JSON" 1 '^error: standard input: document: invalid JSON: ' "$bake" dat encode - <<<'{"id": '
expect_error "missing file" 1 '^error: .*nowhere.json: ' "$bake" dat encode "$work/nowhere.json"
expect_error "unknown type" 2 'not a record type: weather' "$bake" dat encode "$work/cell.json" --type weather
expect_error "no file" 2 'FILE is required' "$bake" dat encode
rm -f "$work/none.bin"
"$bake" dat encode "$work/bad.json" -o "$work/none.bin" 2>/dev/null
check "a failure writes no output file" "[ ! -e '$work/none.bin' ]"

# Damaged archives: every record they still give round-trips, and decodes
# exactly when the bake's decoder does.
"$damaged" "$work/damaged" || { echo "damaged inputs failed" >&2; exit 1; }
if ! "$round_trip" "$work/world" "$work"/damaged/*/ >"$work/round_trip.txt"; then
  echo "FAIL: damaged inputs round-trip" >&2 && cat "$work/round_trip.txt" >&2
  fails=$((fails + 1))
fi
tail -1 "$work/round_trip.txt"
rm -rf "$work/damaged"

[ "$fails" = 0 ] && echo "dat encode: all checks passed"
exit $((fails != 0))
