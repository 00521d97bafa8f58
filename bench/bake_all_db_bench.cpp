// bake-all into a database against bake-all into manifest files, over a
// generated world on disk ($RAVELIN_BENCH_WORLD, default build/retail-world).
// Each run is the real command, a child process, so its time, peak memory and
// output size are what a user gets:   bake_all_db_bench --benchmark_repetitions=3
// Outputs go to $RAVELIN_BENCH_OUT (default build/bench-out), removed after each run.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path env_path(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? fs::path(value) : fs::path(fallback);
}

struct Run {
  int status = -1;
  long peak_kib = 0;
};

// Runs the tool with `args`, standard error to /dev/null; its exit status and peak resident memory.
Run run_tool(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string tool = RAVELIN_BAKE_PATH;
  argv.push_back(tool.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  Run run;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    struct rusage usage = {};
    int status = 0;
    if (wait4(pid, &status, 0, &usage) == pid) {
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      run.peak_kib = usage.ru_maxrss;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

std::uintmax_t bytes_under(const fs::path& path) {
  if (fs::is_regular_file(path)) return fs::file_size(path);
  std::uintmax_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(path))
    if (entry.is_regular_file()) total += entry.file_size();
  return total;
}

// `to_db`: --db FILE alone; otherwise --out-dir DIR.
void BM_BakeAll(benchmark::State& state, bool to_db) {
  const fs::path world = env_path("RAVELIN_BENCH_WORLD", "build/retail-world");
  const fs::path out = env_path("RAVELIN_BENCH_OUT", "build/bench-out") / (to_db ? "world.sqlite" : "manifests");
  fs::create_directories(out.parent_path());
  long peak_kib = 0;
  std::uintmax_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    state.ResumeTiming();
    const Run run = run_tool({"bake-all", "--dat-dir", world.string(), to_db ? "--db" : "--out-dir", out.string()});
    state.PauseTiming();
    if (run.status != 0) {
      state.SkipWithError("bake-all failed");
      break;
    }
    peak_kib = std::max(peak_kib, run.peak_kib);
    bytes = bytes_under(out);
    fs::remove_all(out);
    state.ResumeTiming();
  }
  state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024.0;
  state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK_CAPTURE(BM_BakeAll, out_dir, false)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(BM_BakeAll, db, true)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
