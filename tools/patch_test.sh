#!/usr/bin/env bash
# patch over the sample world, its revision 2 and another seed's world: exit
# codes, what is written, --dry-run, --report, --keep-going and bad input.
#   patch_test.sh RAVELIN_BAKE WORK_DIR
set -uo pipefail
bake=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }
same_archives() { cmp -s "$1/client_portal.dat" "$2/client_portal.dat" && cmp -s "$1/client_cell_1.dat" "$2/client_cell_1.dat"; }
copy() { rm -rf "$2" && mkdir -p "$2" && cp "$1/client_portal.dat" "$1/client_cell_1.dat" "$2/"; }

"$bake" sample-world "$work/r1" >/dev/null || { echo "sample-world failed" >&2; exit 1; }
"$bake" sample-world "$work/r2" --revision 2 >/dev/null || { echo "sample-world --revision 2 failed" >&2; exit 1; }
"$bake" sample-world "$work/s5" --seed 5 >/dev/null || { echo "sample-world --seed 5 failed" >&2; exit 1; }

# OLD patched with OLD -> NEW holds NEW's files and bakes as NEW does.
copy "$work/r1" "$work/t"
"$bake" patch "$work/t" --old "$work/r1" --new "$work/r2" >"$work/t.out" 2>"$work/t.err"
check "patch exits 0" "[ $? = 0 ] && [ ! -s '$work/t.err' ]"
check "one line per change, then the totals" "[ \$(wc -l <'$work/t.out') = 7 ] && [ \"\$(tail -n 1 '$work/t.out')\" = 'patch: 1 added, 1 removed, 4 replaced, 0 merged, 0 unchanged, 0 conflicts; written' ]"
for a in client_portal.dat client_cell_1.dat; do
  check "$a lists NEW's files" "cmp -s <('$bake' dat ls '$work/t/$a') <('$bake' dat ls '$work/r2/$a')"
done
check "the patched world bakes as NEW" "cmp -s <('$bake' bake --dat-dir '$work/t' --landblock 0xA9B4) <('$bake' bake --dat-dir '$work/r2' --landblock 0xA9B4)"
check "the patched archives pass dat check" "'$bake' dat check '$work/t/client_portal.dat' >/dev/null && '$bake' dat check '$work/t/client_cell_1.dat' >/dev/null"

# Patching again, or with OLD = NEW, changes no byte.
copy "$work/t" "$work/t-before"
"$bake" patch "$work/t" --old "$work/r1" --new "$work/r2" >"$work/again.out"
check "a second patch finds everything in place" "[ $? = 0 ] && [ \"\$(cat '$work/again.out')\" = 'patch: 0 added, 0 removed, 0 replaced, 0 merged, 6 unchanged, 0 conflicts; nothing written' ]"
"$bake" patch "$work/t" --old "$work/s5" --new "$work/s5" >/dev/null
check "OLD = NEW exits 0" "[ $? = 0 ]"
check "and changes no byte" "same_archives '$work/t' '$work/t-before'"

# Another seed's world: conflicts. Nothing is written without --keep-going.
copy "$work/s5" "$work/c"
"$bake" patch "$work/c" --old "$work/r1" --new "$work/r2" --dry-run --report "$work/dry.jsonl" >"$work/dry.out" 2>"$work/dry.err"
check "a dry run with conflicts exits 1" "[ $? = 1 ] && grep -qE '^error: [0-9]+ conflicts?$' '$work/dry.err'"
check "a dry run writes nothing" "same_archives '$work/c' '$work/s5'"
check "the report has one JSON line per printed line" "[ \$(wc -l <'$work/dry.jsonl') = \$(wc -l <'$work/dry.out') ] && python3 -c 'import json, sys; [json.loads(l) for l in open(sys.argv[1])]' '$work/dry.jsonl'"
check "report and text list the same conflicts" "[ \$(grep -c '\"kind\":\"conflict\"' '$work/dry.jsonl') = \$(grep -c '^conflict ' '$work/dry.out') ] && [ \$(grep -c '^conflict ' '$work/dry.out') -gt 0 ]"
check "the report ends with the totals" "tail -n 1 '$work/dry.jsonl' | grep -q '^{\"kind\":\"totals\",.*\"written\":false}$'"
check "no temporary report left" "[ -z \"\$(ls -A '$work' | grep '\\.part$')\" ]"

"$bake" patch "$work/c" --old "$work/r1" --new "$work/r2" >"$work/stop.out" 2>"$work/stop.err"
check "conflicts exit 1" "[ $? = 1 ] && grep -qE '^error: [0-9]+ conflicts?: nothing written' '$work/stop.err'"
check "the same lines as the dry run" "cmp -s '$work/stop.out' '$work/dry.out'"
check "conflicts write nothing" "same_archives '$work/c' '$work/s5'"

"$bake" patch "$work/c" --old "$work/r1" --new "$work/r2" --keep-going --report "$work/keep.jsonl" >"$work/keep.out" 2>"$work/keep.err"
check "--keep-going with conflicts exits 1" "[ $? = 1 ] && grep -q 'the rest was committed' '$work/keep.err'"
check "--keep-going commits the rest" "tail -n 1 '$work/keep.out' | grep -q '; written$' && '$bake' dat ls '$work/c/client_portal.dat' | grep -q '^0x02000704 '"
check "--keep-going still lists the conflicts" "[ \$(grep -c '^conflict ' '$work/keep.out') = \$(grep -c '^conflict ' '$work/dry.out') ]"
check "its report says it wrote" "tail -n 1 '$work/keep.jsonl' | grep -q '\"written\":true}$'"

# Bad input: a directory without both archives, named; nothing written.
mkdir -p "$work/half" && cp "$work/r1/client_portal.dat" "$work/half/"
"$bake" patch "$work/half" --old "$work/r1" --new "$work/r2" >"$work/half.out" 2>"$work/half.err"
check "a target without its cell archive exits 1" "[ $? = 1 ] && grep -q '^error: target: open client_cell_1.dat at .*half' '$work/half.err' && [ ! -s '$work/half.out' ]"
check "and nothing is written" "cmp -s '$work/half/client_portal.dat' '$work/r1/client_portal.dat' && [ \$(ls -A '$work/half' | wc -l) = 1 ]"
"$bake" patch "$work/t" --old "$work/half" --new "$work/r2" --report "$work/none.jsonl" >/dev/null 2>"$work/old.err"
check "an OLD without its cell archive exits 1" "[ $? = 1 ] && grep -q '^error: old: open client_cell_1.dat' '$work/old.err' && [ ! -e '$work/none.jsonl' ]"

# Usage errors exit 2.
"$bake" patch "$work/t" --new "$work/r2" >/dev/null 2>&1
check "a missing --old exits 2" "[ $? = 2 ]"
"$bake" patch --old "$work/r1" --new "$work/r2" >/dev/null 2>&1
check "a missing TARGET_DIR exits 2" "[ $? = 2 ]"

[ "$fails" = 0 ] && echo "patch_test: all checks passed"
exit $((fails > 0))
