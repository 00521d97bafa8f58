#!/usr/bin/env bash
# bake-all over the sample world: one manifest per landblock, byte-equal to
# the one-off bake, an index line each, and a failing landblock reported
# without stopping the others:   bake_all_test.sh RAVELIN_BAKE WORK_DIR
set -uo pipefail
bake=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }

"$bake" sample-world "$work/world" >/dev/null 2>&1 || { echo "sample-world failed" >&2; exit 1; }
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/all" --jobs 2 2>"$work/all.stderr"
check "whole world exits 0" "[ $? = 0 ]"
check "one summary line" "[ \$(wc -l <'$work/all.stderr') = 1 ] && grep -q '^baked 9 landblocks' '$work/all.stderr'"
check "nine manifests" "[ \$(ls '$work/all' | grep -c '^0x[0-9A-F]\{4\}\.events\.jsonl$') = 9 ]"
check "nine index lines" "[ \$(wc -l <'$work/all/index.jsonl') = 9 ]"
check "no temporary files left" "! ls '$work/all' | grep -q part"
check "index ascending" "sort -c '$work/all/index.jsonl'"
for lb in A8B3 A9B4 AAB5; do
  "$bake" bake --dat-dir "$work/world" --landblock "0x$lb" >"$work/one.jsonl"
  check "0x$lb equals the one-off bake" "cmp -s '$work/one.jsonl' '$work/all/0x$lb.events.jsonl'"
  bytes=$(wc -c <"$work/one.jsonl")
  check "0x$lb index line" "grep -q '\"landblock_id\":\"0x${lb}0000\",\"file\":\"0x$lb.events.jsonl\",.*\"bytes\":$bytes}' '$work/all/index.jsonl'"
done

"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/some" --landblocks 0x0102,0xA9B4,0x0102 --no-sky \
  --spawns-dir "$work/world/spawns" --setup-table "$work/world/spawns/wcid_to_setup.json" 2>"$work/some.stderr"
check "a failure exits 1" "[ $? = 1 ]"
check "failure named last" "tail -n 1 '$work/some.stderr' | grep -q '^error: 1 landblock failed, the first: CellLandblock 0x0102FFFF missing from DAT$'"
check "repeats dropped, list order kept" "[ \$(wc -l <'$work/some/index.jsonl') = 2 ] && head -n 1 '$work/some/index.jsonl' | grep -q '^{\"landblock_id\":\"0x01020000\",\"error\":\"CellLandblock 0x0102FFFF missing from DAT\"}$'"
check "the others still baked" "[ -s '$work/some/0xA9B4.events.jsonl' ] && ! grep -q sky_chain '$work/some/0xA9B4.events.jsonl'"
"$bake" bake --dat-dir "$work/world" --landblock 0xA9B4 --no-sky --spawns-dir "$work/world/spawns" \
  --setup-table "$work/world/spawns/wcid_to_setup.json" >"$work/one.jsonl"
check "spawns source equals the one-off bake" "cmp -s '$work/one.jsonl' '$work/some/0xA9B4.events.jsonl'"

"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/svg" --landblocks 0xA9B4,0xA8B3 --svg 2>/dev/null
check "--svg exits 0" "[ $? = 0 ]"
for lb in A9B4 A8B3; do
  "$bake" render --dat-dir "$work/world" --landblock "0x$lb" -o "$work/one.svg"
  check "0x$lb.svg equals render" "cmp -s '$work/one.svg' '$work/svg/0x$lb.svg'"
done

# render takes bake's entity-source and --no-sky options and draws what bake-all --svg drew.
spawns=(--spawns-dir "$work/world/spawns" --setup-table "$work/world/spawns/wcid_to_setup.json")
"$bake" bake-all --dat-dir "$work/world" --out "$work/svg-spawns" --landblocks 0xA9B4 --svg --no-sky "${spawns[@]}" --atlas \
  2>"$work/svg-spawns.stderr"
check "--out, spawns, --no-sky, --atlas exit 0" "[ $? = 0 ]"
"$bake" render --dat-dir "$work/world" --landblock 0xA9B4 --no-sky "${spawns[@]}" -o "$work/one.svg"
check "spawns/no-sky picture equals render" "cmp -s '$work/one.svg' '$work/svg-spawns/0xA9B4.svg'"
check "--no-sky leaves the sky out of the picture" "grep -q '>sky particle: 0<' '$work/one.svg'"
check "the spawns' setups are drawn" "grep -q 'Placed setups (6)' '$work/one.svg' && grep -q 'Placed setups (4)' '$work/svg/0xA9B4.svg'"
check "atlas written and named" "[ -s '$work/svg-spawns/atlas.html' ] && grep -q '; atlas: .*atlas.html$' '$work/svg-spawns.stderr'"
check "no atlas unless asked" "[ ! -e '$work/svg/atlas.html' ]"

"$bake" bake-all --dat-dir "$work/nowhere" --out-dir "$work/none" 2>"$work/none.stderr"
check "missing DAT dir exits 1 with one error" "[ $? = 1 ] && [ \$(wc -l <'$work/none.stderr') = 1 ] && grep -q '^error: ' '$work/none.stderr'"
check "nothing written for it" "[ ! -e '$work/none' ]"
[ "$fails" = 0 ] && echo "bake-all: all checks passed"
exit $((fails != 0))
