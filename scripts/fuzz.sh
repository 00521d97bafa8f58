#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60)
# on the generated seeds plus the checked-in corpus:
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# New inputs go to build-fuzz/fuzz-work/<target>/; crashes to build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
# clang 16 is the first to build libstdc++ 12's std::expected (conditionally
# trivial destructors); the toolchain file picks it.
./scripts/deps.sh clang-16 libclang-rt-16-dev
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo --toolchain cmake/clang-16.cmake \
  -DRAVELIN_BUILD_FUZZ=ON -DRAVELIN_BUILD_BENCH=OFF >/dev/null
ninja -C "$dir" -j "${RAVELIN_FUZZ_JOBS:-2}" ravelin_fuzz_all
"$dir/fuzz/ravelin_fuzz_seeds" "$dir/fuzz-seeds"

# Longest input worth trying per target: archives need room for a few
# directory nodes, the bake input carries a whole region file.
max_len() {
  case "$1" in
    dat_database | archive_check) echo 16384 ;;
    whole_bake | region | decompress_lrs | compress_lrs) echo 32768 ;;
    setup_table | spawns_lines) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do n=$(basename "$f" .cpp); targets+=("${n%_fuzz}"); done
fi
mkdir -p "$dir/crashes"
for t in "${targets[@]}"; do
  work="$dir/fuzz-work/$t"
  mkdir -p "$work" "fuzz/corpus/$t"
  echo "== $t (${seconds}s)" >&2
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/fuzz/${t}_fuzz" "$work" "$dir/fuzz-seeds/$t" "fuzz/corpus/$t" \
    -max_total_time="$seconds" -max_len="$(max_len "$t")" -rss_limit_mb=1024 -timeout=10 \
    $(case "$t" in whole_bake | region | dat_database | archive_check) echo -len_control=0 ;; esac) -artifact_prefix="$dir/crashes/$t-" -print_final_stats=1 2>&1 | tee "$dir/fuzz-work/$t.log" |
    grep -E "DONE|ERROR|SUMMARY|stat::" >&2 || true
done
