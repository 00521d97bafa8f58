// `ravelin-bake patch` against `ravelin-bake diff` on the same pair of versions:
// OLD $RAVELIN_BENCH_WORLD (default build/retail-world) and NEW
// $RAVELIN_BENCH_WORLD_B (default build/retail-world-r2; scripts/bench.sh writes both). OLD's archives are
// copied into $RAVELIN_BENCH_SCRATCH (default a folder under the temp dir,
// removed at the end) twice: once as OLD, once as TARGET, restored before each
// patch outside the timing, so nothing is written beside the worlds; the
// copies are removed at the end. The
// commands run as a user runs them ($RAVELIN_BAKE, default
// build-base/tools/ravelin-bake); the in-process call shows what the library
// alone costs. One iteration each: run with --benchmark_repetitions=5.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "ravelin/dat/file_ids.h"
#include "ravelin/event_bake/world_patch.h"

namespace {

namespace fs = std::filesystem;

fs::path env_path(const char* name, const fs::path& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? fs::path(value) : fallback;
}

fs::path world_old() { return env_path("RAVELIN_BENCH_WORLD", "build/retail-world"); }
fs::path world_new() { return env_path("RAVELIN_BENCH_WORLD_B", "build/retail-world-r2"); }
fs::path bake_exe() { return env_path("RAVELIN_BAKE", "build-base/tools/ravelin-bake"); }
fs::path scratch() {
  static const fs::path dir = env_path("RAVELIN_BENCH_SCRATCH", fs::temp_directory_path() /
                                                                    ("ravelin-patch-bench-" + std::to_string(::getpid())));
  return dir;
}
fs::path old_copy() { return scratch() / "old"; }
fs::path target_copy() { return scratch() / "target"; }

void copy_archives(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const std::string_view name : {ravelin::dat::kPortalArchiveName, ravelin::dat::kCellArchiveName})
    fs::copy_file(from / name, to / name, fs::copy_options::overwrite_existing);
}

// The scratch copies, made once; TARGET is restored by each benchmark.
void prepare() {
  static const bool done = [] {
    copy_archives(world_old(), old_copy());
    return true;
  }();
  (void)done;
}

void run(benchmark::State& state, const std::string& command, bool restore_target) {
  prepare();
  for (auto _ : state) {
    state.PauseTiming();
    if (restore_target) copy_archives(old_copy(), target_copy());
    fs::remove_all(scratch() / "diff");
    ::sync();  // the copy's dirty pages are not the patch's to write
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  }
}

void BM_DiffCommand(benchmark::State& state) {
  run(state,
      bake_exe().string() + " diff " + old_copy().string() + " " + world_new().string() + " --out-dir " +
          (scratch() / "diff").string() + " --jobs 2 >/dev/null 2>&1",
      false);
}
BENCHMARK(BM_DiffCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_PatchCommand(benchmark::State& state) {
  run(state,
      bake_exe().string() + " patch " + target_copy().string() + " --old " + old_copy().string() + " --new " +
          world_new().string() + " --jobs 2 >/dev/null 2>&1",
      true);
}
BENCHMARK(BM_PatchCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_PatchWorld(benchmark::State& state) {
  prepare();
  for (auto _ : state) {
    state.PauseTiming();
    copy_archives(old_copy(), target_copy());
    ::sync();
    state.ResumeTiming();
    auto result = ravelin::event_bake::patch_world({target_copy(), old_copy(), world_new(), false, false, 2});
    if (!result) state.SkipWithError(result.error().c_str());
    else if (!result->conflicts.empty()) state.SkipWithError("conflicts");
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_PatchWorld)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  for (const fs::path& made : {old_copy(), target_copy(), scratch() / "diff"}) fs::remove_all(made, ignored);
  fs::remove(scratch(), ignored);  // when empty: it may be the caller's folder
  return 0;
}
