#!/usr/bin/env bash
# Same inputs, same bytes from every compiler: builds ravelin-bake with clang++ 16
# and compares its standard output, standard error and exit status with those
# of a g++ build, over every landblock of a sample world (LandblockInfo and
# spawns-manifest entity sources, with and without the sky, JSON and --debug)
# and over every damaged-input case.
#
#   compiler_parity.sh GXX_RAVELIN_BAKE [DAMAGED_INPUTS_GENERATOR]
#
# The generator defaults to ravelin_damaged_inputs of the g++ build tree
# (fuzz/ next to tools/). Environment: CLANG_BUILD_DIR (default
# build-clang-parity under the source root), WORK_DIR (default a fresh
# temporary directory, removed at the end), JOBS (default 2).
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 GXX_RAVELIN_BAKE [DAMAGED_INPUTS_GENERATOR]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
gxx_bake=$(realpath "$1")
generator=${2:-$(dirname "$gxx_bake")/../fuzz/ravelin_damaged_inputs}
clang_dir=${CLANG_BUILD_DIR:-$root/build-clang-parity}
jobs=${JOBS:-2}
[ -x "$gxx_bake" ] || { echo "not an executable: $gxx_bake" >&2; exit 2; }
[ -x "$generator" ] || { echo "damaged-input generator not found: $generator" >&2; exit 2; }

if [ -n "${WORK_DIR:-}" ]; then
  work=$WORK_DIR
  rm -rf "$work" && mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

echo "== clang++-16 build of ravelin-bake in $clang_dir" >&2
build_log=$work/clang-build.log
if ! { cmake -S "$root" -B "$clang_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
         --toolchain "$root/cmake/clang-16.cmake" -DRAVELIN_BUILD_TESTS=OFF -DRAVELIN_BUILD_BENCH=OFF -DRAVELIN_BUILD_TOOLS=ON &&
       ninja -C "$clang_dir" -j "$jobs" ravelin-bake; } >"$build_log" 2>&1; then
  grep -E 'error|FAILED' "$build_log" | head -20 >&2
  echo "the clang++-16 build of ravelin-bake failed" >&2
  exit 1
fi
clang_bake=$clang_dir/tools/ravelin-bake

compared=0 differing=0
# Runs both builds with the same arguments and compares the three outcomes.
compare() {
  local label=$1
  shift
  local a=$work/out.gxx b=$work/out.clang sa sb
  set +e
  timeout 120 "$gxx_bake" "$@" >"$a.stdout" 2>"$a.stderr"
  sa=$?
  timeout 120 "$clang_bake" "$@" >"$b.stdout" 2>"$b.stderr"
  sb=$?
  set -e
  compared=$((compared + 1))
  local problem=""
  [ "$sa" = "$sb" ] || problem="exit status $sa (g++) vs $sb (clang++)"
  cmp -s "$a.stdout" "$b.stdout" || problem="${problem:+$problem; }standard output differs"
  cmp -s "$a.stderr" "$b.stderr" || problem="${problem:+$problem; }standard error differs"
  if [ -n "$problem" ]; then
    differing=$((differing + 1))
    echo "DIFF $label: $problem" >&2
    diff <(head -c 4000 "$a.stderr") <(head -c 4000 "$b.stderr") | head -6 >&2 || true
  fi
}

echo "== sample world" >&2
world=$work/world
"$gxx_bake" sample-world "$world" >/dev/null
spawns=(--spawns-dir "$world/spawns" --setup-table "$world/spawns/wcid_to_setup.json")
mapfile -t landblocks < <("$gxx_bake" dat ls "$world/client_cell_1.dat" | awk '$1 ~ /FFFF$/ {print substr($1, 1, 6)}')
[ "${#landblocks[@]}" -gt 0 ] || { echo "no landblocks in the sample world" >&2; exit 1; }
# A landblock without a CellLandblock fails the same way from both builds.
landblocks+=(0x0001)
for lb in "${landblocks[@]}"; do
  for source in landblock-info spawns; do
    extra=()
    [ "$source" = spawns ] && extra=("${spawns[@]}")
    for variant in "" --no-sky --debug; do
      compare "bake $lb $source ${variant:-json}" bake --dat-dir "$world" --landblock "$lb" "${extra[@]}" $variant
    done
  done
done
echo "   ${#landblocks[@]} landblocks, $compared runs compared" >&2

echo "== damaged inputs" >&2
damaged=$work/damaged
"$generator" "$damaged" >/dev/null
before=$compared
while IFS=$'\t' read -r -a fields; do
  compare "damaged ${fields[0]}" "${fields[@]:3}"
done <"$damaged/cases.tsv"
echo "   $((compared - before)) cases compared" >&2

echo "$compared runs compared, $differing differ" >&2
[ "$differing" = 0 ]
