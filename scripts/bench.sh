#!/usr/bin/env bash
# Benchmarks: writes the retail-size world if missing (into build/retail-world
# or $RAVELIN_BENCH_WORLD) and runs every benchmark program with repetitions,
# reporting medians. --smoke: one iteration each over the small sample world.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${RAVELIN_BENCH_BUILD:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j2 ravelin-bake world_bench dat_open_bench diff_bench >/dev/null
if [[ "${1:-}" == "--smoke" ]]; then
  # Every benchmark program compiles (the test build leaves them out).
  ninja -C "$build" -j2 bench/all >/dev/null
  world="$build/bench-smoke-world"
  "$build/tools/ravelin-bake" sample-world "$world" >/dev/null
  RAVELIN_BENCH_WORLD="$world" "$build/bench/world_bench" --benchmark_filter='Open|BakeSimple|Session|small_compressed' \
    --benchmark_min_time=0
  exit 0
fi
world="${RAVELIN_BENCH_WORLD:-build/retail-world}"
if [[ ! -f "$world/client_cell_1.dat" ]]; then
  "$build/tools/ravelin-bake" sample-world "$world" --scale retail
fi
# The next client version of the same world, for diff_bench.
world_b="${RAVELIN_BENCH_WORLD_B:-build/retail-world-r2}"
if [[ ! -f "$world_b/client_cell_1.dat" ]]; then
  "$build/tools/ravelin-bake" sample-world "$world_b" --scale retail --revision 2 >/dev/null
fi
for program in world_bench dat_open_bench; do
  RAVELIN_BENCH_WORLD="$world" "$build/bench/$program" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true
done
RAVELIN_BENCH_WORLD="$world" RAVELIN_BENCH_WORLD_B="$world_b" RAVELIN_BAKE="$build/tools/ravelin-bake" \
  "$build/bench/diff_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
