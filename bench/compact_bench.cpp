// Compact against a plain copy, and the body compressor, on the retail-size
// world ($RAVELIN_BENCH_WORLD, default build/retail-world). Scratch files go
// to $RAVELIN_BENCH_OUT (default build/bench-out), on the same file system as
// what they are compared with; the world itself is only read.
//
// BM_CopyAndSync is `cp SRC DST && sync DST`, BM_Compact `dat compact SRC -o
// DST` as the library does it (read, rewrite, sync, rename, directory sync),
// both from a warm cache; run with --benchmark_repetitions=5 for medians.
// BM_CompressLrs compresses the world's bodies as stored uncompressed:
// bytes_per_second is the input rate, the counter `ratio` the output's share.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/dat/archive_compact.h"
#include "ravelin/dat/compress.h"
#include "ravelin/dat/lib.h"

namespace {

namespace fs = std::filesystem;

fs::path env_path(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? fs::path(value) : fs::path(fallback);
}

const fs::path& world() {
  static const fs::path dir = env_path("RAVELIN_BENCH_WORLD", "build/retail-world");
  return dir;
}

// A copy of the cell archive to work from, read once so the cache is warm.
const fs::path& source() {
  static const fs::path path = [] {
    const fs::path out = env_path("RAVELIN_BENCH_OUT", "build/bench-out");
    fs::create_directories(out);
    const fs::path copy = out / "compact-source.dat";
    fs::copy_file(world() / "client_cell_1.dat", copy, fs::copy_options::overwrite_existing);
    (void)ravelin::common::read_whole_file(copy);
    return copy;
  }();
  return path;
}

fs::path target() { return source().parent_path() / "compact-target.dat"; }

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

void BM_CopyAndSync(benchmark::State& state) {
  const std::string command = "cp " + quoted(source()) + " " + quoted(target()) + " && sync " + quoted(target());
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    state.PauseTiming();
    fs::remove(target());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(source())));
}
BENCHMARK(BM_CopyAndSync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Compact(benchmark::State& state) {
  for (auto _ : state) {
    auto r = ravelin::dat::compact_archive(source(), target());
    if (!r) state.SkipWithError(r.error().to_string().c_str());
    state.PauseTiming();
    fs::remove(target());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(source())));
}
BENCHMARK(BM_Compact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Bodies of both archives as the client reads them (decompressed), up to
// 64 MiB from each, in id order.
const std::vector<std::vector<std::uint8_t>>& bodies() {
  static const std::vector<std::vector<std::uint8_t>> all = [] {
    std::vector<std::vector<std::uint8_t>> out;
    for (const char* name : {"client_portal.dat", "client_cell_1.dat"}) {
      auto db = ravelin::dat::DatDatabase::open(world() / name);
      if (!db) continue;
      std::size_t taken = 0;
      for (const ravelin::dat::DatFileEntry& e : db->sorted_entries()) {
        if (taken >= (std::size_t{64} << 20)) break;
        auto bytes = db->get_file(e.id);
        if (!bytes) continue;
        taken += bytes->size();
        out.push_back(std::move(*bytes));
      }
    }
    return out;
  }();
  return all;
}

void BM_CompressLrs(benchmark::State& state) {
  const auto& inputs = bodies();
  std::uint64_t in = 0, out = 0;
  for (auto _ : state) {
    for (const auto& body : inputs) {
      auto stored = ravelin::dat::compress_lrs(body);
      in += body.size();
      out += stored ? stored->size() : 0;
      benchmark::DoNotOptimize(stored);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(in));
  state.counters["ratio"] = in == 0 ? 0.0 : static_cast<double>(out) / static_cast<double>(in);
  state.counters["bodies"] = static_cast<double>(inputs.size());
}
BENCHMARK(BM_CompressLrs)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
