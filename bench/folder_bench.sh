#!/usr/bin/env bash
# `dat pack` and `dat extract` against tar over one archive (the retail-size
# portal archive for the figures), whole processes, warm cache, the median of
# RUNS runs of each after one warm-up, the two commands taken in turn:
#   pack:    dat pack DIR -o OUT.dat        vs  tar -cf OUT.tar DIR && sync OUT.tar
#            (DIR an `extract --stored` folder)
#   extract: dat extract ARCHIVE EMPTY      vs  tar -xf DIR.tar -C EMPTY
#            (and dat extract --stored)
# Prints each median in seconds and the ratio to tar's.
#   bench/folder_bench.sh RAVELIN_BAKE ARCHIVE SCRATCH_DIR [RUNS]
# SCRATCH_DIR is emptied and must be on the disk the figures are for.
set -euo pipefail
bake=$(realpath "$1") archive=$(realpath "$2") scratch=$3 runs=${4:-5}
rm -rf "$scratch" && mkdir -p "$scratch" && scratch=$(realpath "$scratch")
now() { date +%s.%N; }
# Seconds one run of the command takes.
seconds() {
  local start end
  start=$(now)
  "$@" >/dev/null 2>&1
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

"$bake" dat extract --stored "$archive" "$scratch/stored" 2>/dev/null
tar -cf "$scratch/stored.tar" -C "$scratch" stored
files=$(ls "$scratch/stored/files" | wc -l)
echo "archive: $archive ($(stat -c %s "$archive") bytes, $files files), $runs runs each after one warm-up"

pack_ours() { rm -f "$scratch/out.dat"; seconds "$bake" dat pack "$scratch/stored" -o "$scratch/out.dat"; }
pack_tar() { rm -f "$scratch/out.tar"; seconds sh -c "tar -cf '$scratch/out.tar' -C '$scratch' stored && sync '$scratch/out.tar'"; }
extract_ours() { rm -rf "$scratch/x" && mkdir "$scratch/x"; seconds "$bake" dat extract "$archive" "$scratch/x"; }
extract_stored() { rm -rf "$scratch/x" && mkdir "$scratch/x"; seconds "$bake" dat extract --stored "$archive" "$scratch/x"; }
extract_tar() { rm -rf "$scratch/x" && mkdir "$scratch/x"; seconds tar -xf "$scratch/stored.tar" -C "$scratch/x"; }

# name, ours, theirs
compare() {
  local name=$1 ours=$2 theirs=$3 a=() b=()
  "$ours" >/dev/null && "$theirs" >/dev/null
  for _ in $(seq "$runs"); do
    a+=("$("$ours")")
    b+=("$("$theirs")")
  done
  local ma mb
  ma=$(printf '%s\n' "${a[@]}" | median)
  mb=$(printf '%s\n' "${b[@]}" | median)
  awk -v n="$name" -v a="$ma" -v b="$mb" -v ra="${a[*]}" -v rb="${b[*]}" \
    'BEGIN { printf "%-16s %7.3f s  tar %7.3f s  ratio %.2f   (runs: %s | %s)\n", n, a, b, a / b, ra, rb }'
}
compare "pack" pack_ours pack_tar
compare "extract" extract_ours extract_tar
compare "extract --stored" extract_stored extract_tar
rm -rf "$scratch"
