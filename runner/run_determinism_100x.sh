#!/usr/bin/env bash
# End-to-end runs of determinism_100x for CTest:
#   run_determinism_100x.sh MODE RUNNER RAVELIN_BAKE WORK_DIR
# MODE sample_world: both checks must PASS over a fresh sample world, and the
#   scratch copy must equal `ravelin-bake bake` output for 0xA9B4;
# MODE no_dat: no DAT directory anywhere, both checks print "SKIP — no dat";
# MODE no_spawns: archives without staged spawns, the first check passes and
#   the second prints its SKIP line.
set -euo pipefail
mode=$1 runner=$2 tool=$3 work=$4

rm -rf "$work"
mkdir -p "$work/data-home"
# Hermetic: no copy of real archives under the user's data directory is found.
export XDG_DATA_HOME="$work/data-home"
export RAVELIN_SCRATCH_DIR="$work/scratch"
unset RAVELIN_DAT_DIR RAVELIN_SPAWNS_DIR

report="$work/report.txt"
run() {
  if ! "$runner" >"$work/gtest.txt" 2>"$report"; then
    cat "$work/gtest.txt" "$report"
    echo "determinism_100x failed" >&2
    exit 1
  fi
}
expect_line() {  # exact line, N times
  local count
  count=$(grep -cxF -- "$1" "$report" || true)
  if [ "$count" != "$2" ]; then
    cat "$report"
    echo "expected $2 line(s) '$1', found $count" >&2
    exit 1
  fi
}
expect_prefix() {
  if ! grep -q -- "^$1" "$report"; then
    cat "$report"
    echo "expected a line starting with '$1'" >&2
    exit 1
  fi
}

case "$mode" in
  sample_world)
    "$tool" sample-world "$work/world" >/dev/null
    RAVELIN_DAT_DIR="$work/world" run
    expect_prefix "PASS — 100 bakes produced byte-identical JSONL ("
    expect_prefix "PASS — SpawnsManifest 100x byte-equal ("
    expect_line "SKIP — no dat" 0
    expect_line "SKIP — spawns dir / setup table not staged" 0
    "$tool" bake --dat-dir "$work/world" --landblock 0xA9B4 >"$work/expected.jsonl"
    cmp "$work/scratch/0xA9B4.events.jsonl" "$work/expected.jsonl"
    ;;
  no_dat)
    run
    expect_line "SKIP — no dat" 2
    [ "$(wc -l <"$report")" -eq 2 ] || { cat "$report"; exit 1; }
    [ ! -e "$work/scratch" ] || { echo "scratch copy written without a bake" >&2; exit 1; }
    ;;
  no_spawns)
    "$tool" sample-world "$work/world" >/dev/null
    rm -r "$work/world/spawns"
    RAVELIN_DAT_DIR="$work/world" run
    expect_prefix "PASS — 100 bakes produced byte-identical JSONL ("
    expect_line "SKIP — spawns dir / setup table not staged" 1
    ;;
  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
