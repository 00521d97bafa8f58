// What the C interface adds to a bake: a whole world ($RAVELIN_BENCH_WORLD,
// default build/retail-world) baked landblock by landblock on one thread, one
// iteration per landblock, through BakeSession::bake (with and without the
// JSON Lines it serialises to) and through ravelin_session_bake (handle look-up,
// serialisation, copy into a malloc'd buffer, free). Each session bakes the
// whole world once before it is timed, so every variant runs on warm caches.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ravelin/event_bake/session.h"
#include "ravelin/ravelin.h"

namespace {

std::string world_dir() {
  const char* dir = std::getenv("RAVELIN_BENCH_WORLD");
  return dir != nullptr && *dir != '\0' ? dir : "build/retail-world";
}

[[noreturn]] void die(const std::string& text) {
  std::fprintf(stderr, "bindings_bench: %s\n", text.c_str());
  std::exit(1);
}

struct Sessions {
  std::unique_ptr<ravelin::event_bake::BakeSession> cpp;
  ravelin_session* c = nullptr;
  std::vector<std::uint32_t> ids;
};

Sessions open_warm_sessions() {
  Sessions s;
  auto cpp = ravelin::event_bake::BakeSession::open({world_dir(), {}, ravelin::event_bake::kDefaultRegionDid, true});
  if (!cpp) die(cpp.error().to_string());
  s.cpp = std::move(*cpp);
  ravelin_error* error = nullptr;
  if (ravelin_session_open(world_dir().c_str(), nullptr, &s.c, &error) != RAVELIN_OK)
    die(ravelin_error_message(error));
  s.ids = s.cpp->cell_landblock_ids();
  for (const std::uint32_t id : s.ids) {
    benchmark::DoNotOptimize(s.cpp->bake(id));
    std::uint8_t* jsonl = nullptr;
    std::size_t size = 0;
    if (ravelin_session_bake(s.c, id, &jsonl, &size, nullptr) == RAVELIN_OK) ravelin_free(jsonl);
  }
  return s;
}

Sessions& sessions() {
  static Sessions s = open_warm_sessions();
  return s;
}

void BM_CppBake(benchmark::State& state) {
  const Sessions& s = sessions();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(s.cpp->bake(s.ids[i++ % s.ids.size()]));
  state.SetItemsProcessed(state.iterations());
}

void BM_CppBakeJsonl(benchmark::State& state) {
  const Sessions& s = sessions();
  std::size_t i = 0;
  for (auto _ : state) {
    auto bake = s.cpp->bake(s.ids[i++ % s.ids.size()]);
    if (bake) benchmark::DoNotOptimize(bake->to_jsonl_bytes());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CSessionBake(benchmark::State& state) {
  const Sessions& s = sessions();
  std::size_t i = 0;
  for (auto _ : state) {
    std::uint8_t* jsonl = nullptr;
    std::size_t size = 0;
    if (ravelin_session_bake(s.c, s.ids[i++ % s.ids.size()], &jsonl, &size, nullptr) == RAVELIN_OK) {
      benchmark::DoNotOptimize(jsonl[size / 2]);
      ravelin_free(jsonl);
    }
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto world = static_cast<benchmark::IterationCount>(sessions().ids.size());
  // One iteration per landblock: each run is the whole world once.
  benchmark::RegisterBenchmark("BM_CppBake", BM_CppBake)->Iterations(world)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_CppBakeJsonl", BM_CppBakeJsonl)->Iterations(world)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_CSessionBake", BM_CSessionBake)->Iterations(world)->Unit(benchmark::kMicrosecond);
  benchmark::RunSpecifiedBenchmarks();
  ravelin_session_close(sessions().c, nullptr);
  benchmark::Shutdown();
  return 0;
}
