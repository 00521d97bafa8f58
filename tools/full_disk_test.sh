#!/usr/bin/env bash
# bake-all, diff, dat put and dat compact on a file system that fills up: each
# stops at the first write that fails, names the file and the system's
# message, leaves no temporary file, and every file left in the directory is
# either as it was or a complete file of the run (an archive as it was). Needs root (a tmpfs of a chosen size, mounted in a
# private mount namespace); exits 77 (skipped) without.
#   full_disk_test.sh RAVELIN_BAKE WORK_DIR
set -uo pipefail
bake=$1 work=$2
if [ -z "${RAVELIN_PRIVATE_MOUNTS:-}" ]; then
  if [ "$(id -u)" != 0 ] || ! unshare -m true 2>/dev/null; then
    echo "skipped: needs root and a mount namespace for its tmpfs" >&2
    exit 77
  fi
  exec unshare -m --propagation private env RAVELIN_PRIVATE_MOUNTS=1 "$0" "$@"
fi
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }

"$bake" sample-world "$work/world" >/dev/null 2>&1 || { echo "sample-world failed" >&2; exit 1; }
"$bake" sample-world "$work/world-r2" --revision 2 >/dev/null 2>&1 || { echo "sample-world r2 failed" >&2; exit 1; }
# What a run with room to spare writes, to compare with.
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/full" --svg --atlas 2>/dev/null || { echo "reference run failed" >&2; exit 1; }

# A tmpfs of KB kilobytes at DIR, empty.
disk() {  # DIR KB
  mkdir -p "$1" && mount -t tmpfs -o "size=${2}k" tmpfs "$1"
}
pages() {  # FILE... : the 4 KB pages the files take
  local total=0 size
  for f in "$@"; do size=$(stat -c %s "$f"); total=$((total + (size + 4095) / 4096)); done
  echo "$total"
}
no_temporaries() { ! ls -a "$1" | grep -q '\.part$'; }
# Every file in DIR equals the reference run's file of the same name.
complete_files() {  # DIR REFERENCE_DIR
  local f
  for f in "$1"/*; do
    [ -e "$f" ] || continue
    cmp -s "$f" "$2/$(basename "$f")" || { echo "  not complete: $f" >&2; return 1; }
  done
}
last_error() { tail -n 1 "$1"; }

# Manifests into a disk with room for two or three of them.
disk "$work/small" 40
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/small/out" --jobs 1 2>"$work/small.stderr"
check "manifests: exit 1" "[ $? = 1 ]"
check "manifests: the file and the message named" \
  "last_error '$work/small.stderr' | grep -qx 'error: IO error: write $work/small/out/0x[0-9A-F]\{4\}\.events\.jsonl: No space left on device'"
check "manifests: no summary, the run stopped" "! grep -q '^baked' '$work/small.stderr'"
check "manifests: no temporary left" "no_temporaries '$work/small/out'"
check "manifests: no index of a failed run" "[ ! -e '$work/small/out/index.jsonl' ]"
check "manifests: what is there is complete" "complete_files '$work/small/out' '$work/full'"

# Pictures too, one job each: whichever file meets the full disk is named.
disk "$work/svg" 60
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/svg/out" --svg 2>"$work/svg.stderr"
check "--svg: exit 1, a file of the run named" \
  "[ $? = 1 ] && last_error '$work/svg.stderr' | grep -qx 'error: IO error: write $work/svg/out/0x[0-9A-F]\{4\}\.\(events\.jsonl\|svg\): No space left on device'"
check "--svg: no temporary left" "no_temporaries '$work/svg/out'"
check "--svg: what is there is complete" "complete_files '$work/svg/out' '$work/full'"

# Room for every manifest and the index but not for the atlas, which is drawn
# at the end: the index, written last, is not written either.
room=$(( $(pages "$work/full"/*.events.jsonl "$work/full/index.jsonl") + 2 ))
disk "$work/atlas" $((room * 4))
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/atlas/out" --atlas 2>"$work/atlas.stderr"
check "--atlas: exit 1, the page named" \
  "[ $? = 1 ] && last_error '$work/atlas.stderr' | grep -qx 'error: IO error: write $work/atlas/out/\(atlas\.html\|terrain\.png\): No space left on device'"
check "--atlas: no temporary left" "no_temporaries '$work/atlas/out'"
check "--atlas: no index" "[ ! -e '$work/atlas/out/index.jsonl' ]"
check "--atlas: what is there is complete" "complete_files '$work/atlas/out' '$work/full'"

# A rerun into a directory of an earlier run whose disk is nearly full: the
# earlier index stays as it was.
disk "$work/rerun" 512
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/rerun/out" --svg 2>/dev/null
cp "$work/rerun/out/index.jsonl" "$work/rerun-index.before"
head -c $(( ($(df -k --output=avail "$work/rerun" | tail -n 1) - 8) * 1024 )) /dev/zero >"$work/rerun/filler" 2>/dev/null
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/rerun/out" --svg 2>"$work/rerun.stderr"
check "rerun: exit 1 with the file named" \
  "[ $? = 1 ] && last_error '$work/rerun.stderr' | grep -q '^error: IO error: write $work/rerun/out/.*: No space left on device$'"
check "rerun: the earlier index as it was" "cmp -s '$work/rerun/out/index.jsonl' '$work/rerun-index.before'"
check "rerun: no temporary left" "no_temporaries '$work/rerun/out'"
check "rerun: every file complete" "complete_files '$work/rerun/out' '$work/full'"

# The database: none left behind, an earlier one kept.
disk "$work/db" 48
"$bake" bake-all --dat-dir "$work/world" --db "$work/db/world.db" 2>"$work/db.stderr"
check "--db: exit 1 with the file named" \
  "[ $? = 1 ] && last_error '$work/db.stderr' | grep -qx 'error: IO error: write $work/db/world.db: No space left on device'"
check "--db: no temporary, no database" "no_temporaries '$work/db' && [ ! -e '$work/db/world.db' ]"
disk "$work/db2" 1024
"$bake" bake-all --dat-dir "$work/world" --db "$work/db2/world.db" --landblocks 0xA9B4 2>/dev/null
cp "$work/db2/world.db" "$work/db2-before.db"
head -c $(( ($(df -k --output=avail "$work/db2" | tail -n 1) - 16) * 1024 )) /dev/zero >"$work/db2/filler" 2>/dev/null
"$bake" bake-all --dat-dir "$work/world" --db "$work/db2/world.db" 2>"$work/db2.stderr"
check "--db rerun: exit 1 with the file named" \
  "[ $? = 1 ] && last_error '$work/db2.stderr' | grep -qx 'error: IO error: write $work/db2/world.db: No space left on device'"
check "--db rerun: the earlier database as it was" "cmp -s '$work/db2/world.db' '$work/db2-before.db'"
check "--db rerun: no temporary left" "no_temporaries '$work/db2'"

# diff: its four files are each complete or absent.
"$bake" diff "$work/world" "$work/world-r2" --out-dir "$work/diff-full" >/dev/null 2>&1
disk "$work/diff" 8
"$bake" diff "$work/world" "$work/world-r2" --out-dir "$work/diff/out" >/dev/null 2>"$work/diff.stderr"
check "diff: exit 1 with the file named" \
  "[ $? = 1 ] && last_error '$work/diff.stderr' | grep -qx 'error: IO error: write $work/diff/out/\(files\|records\|landblocks\)\.jsonl: No space left on device\|error: IO error: write $work/diff/out/summary\.md: No space left on device'"
check "diff: no temporary left" "no_temporaries '$work/diff/out'"
check "diff: what is there is complete" "complete_files '$work/diff/out' '$work/diff-full'"

# dat put of a file the disk has no room for: one error naming the archive,
# the archive as it was and sound, no temporary.
disk "$work/edit" 256
cp "$work/world/client_portal.dat" "$work/edit/client_portal.dat"
cp "$work/world/client_portal.dat" "$work/edit-before.dat"
head -c $((1024 * 1024)) /dev/urandom >"$work/too-big.bin"
"$bake" dat put "$work/edit/client_portal.dat" 0x0E000001 "$work/too-big.bin" 2>"$work/put.stderr"
check "dat put: exit 1, one line naming the archive" \
  "[ $? = 1 ] && [ \$(wc -l <'$work/put.stderr') = 1 ] && grep -qx 'error: IO error: write $work/edit/client_portal.dat: No space left on device' '$work/put.stderr'"
check "dat put: the archive as it was" "cmp -s '$work/edit/client_portal.dat' '$work/edit-before.dat'"
check "dat put: check clean" "'$bake' dat check '$work/edit/client_portal.dat' >/dev/null"
check "dat put: nothing else in the directory" "[ \"\$(ls -A '$work/edit')\" = client_portal.dat ]"
# dat compact with less room than the archive takes: the archive untouched.
head -c $(( ($(df -k --output=avail "$work/edit" | tail -n 1) - 8) * 1024 )) /dev/zero >"$work/edit/filler" 2>/dev/null
"$bake" dat compact "$work/edit/client_portal.dat" 2>"$work/compact.stderr"
check "dat compact: exit 1, one line naming the archive" \
  "[ $? = 1 ] && [ \$(wc -l <'$work/compact.stderr') = 1 ] && grep -qx 'error: IO error: write $work/edit/client_portal.dat: No space left on device' '$work/compact.stderr'"
check "dat compact: the archive untouched" "cmp -s '$work/edit/client_portal.dat' '$work/edit-before.dat'"
check "dat compact: no temporary left" "no_temporaries '$work/edit'"

[ "$fails" = 0 ] && echo "full disk: all checks passed"
exit $((fails != 0))
