#!/usr/bin/env bash
# diff between the two sample-world revisions against its golden files, bake
# --inputs, and bad input:   diff_test.sh RAVELIN_BAKE WORK_DIR GOLDEN_DIR
# With RAVELIN_UPDATE_GOLDEN=1 the golden files are rewritten from this run
# (read them before committing: they are the tool's own answer).
set -uo pipefail
bake=$1 work=$2 golden=$3
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }

"$bake" sample-world "$work/r1" >/dev/null || { echo "sample-world failed" >&2; exit 1; }
"$bake" sample-world "$work/r2" --revision 2 >"$work/r2.out" || { echo "sample-world --revision 2 failed" >&2; exit 1; }
check "revision 2 lists its five changes" "[ \$(grep -c '^  ' '$work/r2.out') = 5 ]"
# The revision's rules find their records in another seed's world too.
"$bake" sample-world "$work/s7" --seed 7 --revision 2 >"$work/s7.out"
check "revision 2 of seed 7" "[ $? = 0 ] && [ \$(grep -c '^  ' '$work/s7.out') = 5 ]"

"$bake" diff "$work/r1" "$work/r2" --out-dir "$work/out" --jobs 2 >"$work/diff.out" 2>"$work/diff.err"
check "diff exits 0" "[ $? = 0 ]"
check "one line on standard output" "[ \$(wc -l <'$work/diff.out') = 1 ] && [ ! -s '$work/diff.err' ]"
check "no temporary files left" "[ \$(ls -A '$work/out' | wc -l) = 4 ]"
if [ "${RAVELIN_UPDATE_GOLDEN:-}" = 1 ]; then
  mkdir -p "$golden" && cp "$work/out/"* "$golden/"
fi
for f in files.jsonl records.jsonl landblocks.jsonl summary.md; do
  check "$f equals the golden one" "cmp -s '$golden/$f' '$work/out/$f'"
done
# Portal lines before cell lines, each run ascending (ids are fixed-width hex).
ordered() {  # FILE PORTAL_PATTERN CELL_PATTERN
  awk -v p="$2" -v c="$3" '$0 ~ c {seen = 1} $0 ~ p && seen {exit 1}' "$1" &&
    grep "$2" "$1" | LC_ALL=C sort -c -u && grep "$3" "$1" | LC_ALL=C sort -c -u
}
for f in files records; do
  check "$f.jsonl ascending by (archive, id)" "ordered '$work/out/$f.jsonl' '\"archive\":\"portal\"' '\"archive\":\"cell\"'"
done
check "landblocks.jsonl ascending" "LC_ALL=C sort -c -u '$work/out/landblocks.jsonl'"

# --atlas: the new world's page marks exactly the landblocks of landblocks.jsonl.
"$bake" diff "$work/r1" "$work/r2" --out-dir "$work/atlas" --atlas >"$work/atlas.out"
check "--atlas exits 0 and names the page" "[ $? = 0 ] && grep -q '; atlas: .*atlas.html$' '$work/atlas.out' && [ -s '$work/atlas/terrain.png' ]"
marks() {  # the patch element's (id, change, removed, added, caused_by) against landblocks.jsonl
  python3 - "$1" <<'PY'
import json, re, sys
out = sys.argv[1]
page = open(f"{out}/atlas.html", encoding="utf-8").read()
element = re.search(r'<script type="application/json" id="atlas-patch">(.*?)</script>', page, re.S)
marked = [(p["landblock_id"], p["change"], p["removed"], p["added"], p["caused_by"])
          for p in json.loads(element.group(1))]
listed = [(l["landblock_id"], l["change"], len(l["removed"]), len(l["added"]), l["caused_by"])
          for l in map(json.loads, open(f"{out}/landblocks.jsonl"))]
sys.exit(0 if marked == listed and listed else 1)
PY
}
check "--atlas marks the landblocks of landblocks.jsonl" "marks '$work/atlas'"

# bake --inputs: what the bake of the focus landblock read, ascending, portal first.
"$bake" bake --dat-dir "$work/r1" --landblock 0xA9B4 --inputs >"$work/inputs" 2>&1
check "--inputs exits 0" "[ $? = 0 ]"
check "--inputs sorted, portal first" "[ \"\$(head -n 1 '$work/inputs')\" = portal:0x02000100 ] && [ \"\$(tail -n 2 '$work/inputs' | tr '\n' ' ')\" = 'cell:0xA9B4FFFE cell:0xA9B4FFFF ' ] && ordered '$work/inputs' '^portal:' '^cell:'"
"$bake" bake --dat-dir "$work/r1" --landblock 0x0102 --inputs >"$work/inputs" 2>"$work/inputs.err"
check "--inputs of a failing bake exits 1" "[ $? = 1 ]"
check "--inputs of a failing bake lists how far it got" "[ \"\$(cat '$work/inputs' | tr '\n' ' ')\" = 'portal:0x13000000 cell:0x0102FFFF ' ]"
check "--inputs of a failing bake names the error" "grep -qx 'error: CellLandblock 0x0102FFFF missing from DAT' '$work/inputs.err'"

# Identical versions: four files, the .jsonl ones empty.
"$bake" diff "$work/r1" "$work/r1" --out-dir "$work/same" >/dev/null
check "identical: exit 0" "[ $? = 0 ]"
check "identical: empty jsonl files" "[ ! -s '$work/same/files.jsonl' ] && [ ! -s '$work/same/records.jsonl' ] && [ ! -s '$work/same/landblocks.jsonl' ]"
check "identical: summary says so" "grep -q 'The two versions are the same' '$work/same/summary.md'"

# Broken archives: exit 1, one error line naming the side and the archive, OUT untouched.
mkdir -p "$work/bad" && cp "$work/r1/client_portal.dat" "$work/bad/"
head -c 1000 "$work/r1/client_cell_1.dat" >"$work/bad/client_cell_1.dat"
mkdir -p "$work/keep" && echo kept >"$work/keep/files.jsonl"
for side in old new; do
  if [ $side = old ]; then a="$work/bad" b="$work/r1"; else a="$work/r1" b="$work/bad"; fi
  "$bake" diff "$a" "$b" --out-dir "$work/keep" >"$work/bad.out" 2>"$work/bad.err"
  check "truncated $side archive: exit 1" "[ $? = 1 ]"
  check "truncated $side archive: one error line" "[ \$(wc -l <'$work/bad.err') = 1 ] && grep -q '^error: $side: open client_cell_1.dat at ' '$work/bad.err'"
  check "truncated $side archive: OUT untouched" "[ \"\$(ls -A '$work/keep')\" = files.jsonl ] && grep -qx kept '$work/keep/files.jsonl'"
done
echo "not an archive" >"$work/bad/client_portal.dat"
"$bake" diff "$work/r1" "$work/bad" --out-dir "$work/none" 2>"$work/bad.err"
check "non-archive: exit 1 naming the portal archive" "[ $? = 1 ] && grep -q '^error: new: open client_portal.dat at ' '$work/bad.err' && [ ! -e '$work/none' ]"

[ $fails = 0 ] && echo "diff: all checks passed"
exit $((fails > 0))
