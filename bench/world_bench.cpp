// Benchmarks over a generated world on disk ($RAVELIN_BENCH_WORLD, default
// build/retail-world; scripts/bench.sh writes it): opening each archive,
// fetching small and large, plain and compressed files, and whole bakes of
// landblock 0xA9B4, one-off and through a session, and a session baking every
// landblock of the world on one and on two threads.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/landblock.h"
#include "ravelin/event_bake/session.h"
#include "dat_writer/sample_world.h"

namespace {

std::filesystem::path world_dir() {
  const char* dir = std::getenv("RAVELIN_BENCH_WORLD");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::path("build/retail-world");
}

const ravelin::dat::DatDatabase& open_or_die(const char* name) {
  auto db = ravelin::dat::DatDatabase::open(world_dir() / name);
  if (!db) {
    std::fprintf(stderr, "cannot open %s: %s\n", (world_dir() / name).c_str(), db.error().to_string().c_str());
    std::exit(1);
  }
  return *new ravelin::dat::DatDatabase(std::move(*db));  // lives for the whole run
}

void BM_OpenArchive(benchmark::State& state, const char* name) {
  const auto path = world_dir() / name;
  for (auto _ : state) {
    auto db = ravelin::dat::DatDatabase::open(path);
    if (!db) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(db);
  }
}
BENCHMARK_CAPTURE(BM_OpenArchive, cell, "client_cell_1.dat")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenArchive, portal, "client_portal.dat")->Unit(benchmark::kMillisecond);

// Ids: a plain cell filler, a compressed CellLandblock, a large plain and a
// large compressed portal file (present only in the retail-scale world).
void BM_GetFile(benchmark::State& state, const char* archive, std::uint32_t id) {
  const auto& db = open_or_die(archive);
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto body = db.get_file(id);
    if (!body) {
      state.SkipWithError("get_file failed");
      break;
    }
    bytes += body->size();
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK_CAPTURE(BM_GetFile, small_plain, "client_cell_1.dat", 0xA9B40100u);
BENCHMARK_CAPTURE(BM_GetFile, small_compressed, "client_cell_1.dat", 0xA9B4FFFFu);
BENCHMARK_CAPTURE(BM_GetFile, large_plain, "client_portal.dat", ravelin::dat_writer::kSampleLargeFileBase);
BENCHMARK_CAPTURE(BM_GetFile, large_compressed, "client_portal.dat", ravelin::dat_writer::kSampleLargeFileBase + 1);

// The runner's case: repeated whole bakes in one process.
void BM_BakeSimpleA9B4(benchmark::State& state) {
  for (auto _ : state) {
    auto bake = ravelin::event_bake::bake_landblock_events_simple(0xA9B40000, world_dir());
    if (!bake) state.SkipWithError("bake failed");
    benchmark::DoNotOptimize(bake);
  }
}
BENCHMARK(BM_BakeSimpleA9B4)->Unit(benchmark::kMillisecond);

const ravelin::event_bake::BakeSession& session_or_die() {
  static const auto session = [] {
    ravelin::event_bake::BakeSession::Options options;
    options.dat_dir = world_dir();
    auto opened = ravelin::event_bake::BakeSession::open(std::move(options));
    if (!opened) {
      std::fprintf(stderr, "cannot open a session: %s\n", opened.error().to_string().c_str());
      std::exit(1);
    }
    return std::move(*opened);
  }();
  return *session;
}

// Caches warm after the first iteration: the steady state of a long session.
void BM_SessionBakeA9B4(benchmark::State& state) {
  const auto& session = session_or_die();
  for (auto _ : state) {
    auto bake = session.bake(0xA9B40000);
    if (!bake) state.SkipWithError("bake failed");
    benchmark::DoNotOptimize(bake);
  }
}
BENCHMARK(BM_SessionBakeA9B4)->Unit(benchmark::kMicrosecond);

// Every landblock baked and serialised on state.range(0) threads; items are
// landblocks. bake-all adds the file writes to this.
void BM_SessionBakeAll(benchmark::State& state) {
  const auto& session = session_or_die();
  const std::vector<std::uint32_t> ids = session.cell_landblock_ids();
  const auto threads = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> bytes{0};
    auto work = [&] {
      std::size_t mine = 0;
      for (std::size_t i = next++; i < ids.size(); i = next++)
        if (auto bake = session.bake(ids[i])) mine += bake->to_jsonl_bytes().size();
      bytes += mine;
    };
    std::vector<std::jthread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    pool.clear();
    benchmark::DoNotOptimize(bytes.load());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ids.size()));
}
BENCHMARK(BM_SessionBakeAll)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
