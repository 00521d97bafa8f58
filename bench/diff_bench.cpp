// `ravelin-bake diff` against `ravelin-bake bake-all` on two generated worlds:
// $RAVELIN_BENCH_WORLD (default build/retail-world) and its next revision
// $RAVELIN_BENCH_WORLD_B (default build/retail-world-r2; scripts/bench.sh
// writes both). The commands run as they would for a user, output files
// included ($RAVELIN_BAKE, default build-bench/tools/ravelin-bake), so the two
// times compare like for like; the in-process diff shows what the library
// alone costs. One iteration each: run with --benchmark_repetitions.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "ravelin/event_bake/world_diff.h"

namespace {

std::filesystem::path env_path(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::filesystem::path(value) : std::filesystem::path(fallback);
}

std::filesystem::path world_a() { return env_path("RAVELIN_BENCH_WORLD", "build/retail-world"); }
std::filesystem::path world_b() { return env_path("RAVELIN_BENCH_WORLD_B", "build/retail-world-r2"); }
std::filesystem::path bake_exe() { return env_path("RAVELIN_BAKE", "build-bench/tools/ravelin-bake"); }

std::filesystem::path scratch_dir() {
  return std::filesystem::temp_directory_path() / ("ravelin-diff-bench-" + std::to_string(::getpid()));
}

// Runs the command with its output thrown away; the scratch directory is
// emptied outside the timing.
void run_command(benchmark::State& state, const std::string& args) {
  const std::filesystem::path out = scratch_dir();
  const std::string command = bake_exe().string() + " " + args + " " + out.string() + " --jobs 2 >/dev/null 2>&1";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(out);
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  }
  std::filesystem::remove_all(out);
}

void BM_BakeAllCommand(benchmark::State& state) {
  run_command(state, "bake-all --dat-dir " + world_a().string() + " --out-dir");
}
BENCHMARK(BM_BakeAllCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_DiffCommand(benchmark::State& state) {
  run_command(state, "diff " + world_a().string() + " " + world_b().string() + " --out-dir");
}
BENCHMARK(BM_DiffCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The library call with the lines serialised but not written.
void BM_DiffWorlds(benchmark::State& state) {
  ravelin::event_bake::WorldDiffOptions options;
  options.old_dir = world_a();
  options.new_dir = world_b();
  options.jobs = 2;
  // Counts the bytes of each landblock line.
  struct Measure final : ravelin::common::Sink<ravelin::event_bake::LandblockDiff> {
    std::size_t bytes = 0;
    ravelin::common::SinkResult add(const ravelin::event_bake::LandblockDiff& l) override {
      bytes += l.to_json_line().size();
      return {};
    }
  };
  for (auto _ : state) {
    Measure measure;
    auto result = ravelin::event_bake::diff_worlds(options, {nullptr, nullptr, &measure});
    const std::size_t bytes = measure.bytes;
    if (!result) state.SkipWithError(result.error().c_str());
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_DiffWorlds)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
