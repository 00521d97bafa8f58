// What bake-all --atlas adds to a bake of every landblock, over a generated
// world on disk ($RAVELIN_BENCH_WORLD, default build/retail-world): reading
// each landblock's CellLandblock once more beside its bake, and once after
// the bakes the terrain raster, its PNG and the page. Compare with
// world_bench's BM_SessionBakeAll/1, which bake-all adds its file writes to.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "ravelin/dat/file_ids.h"
#include "ravelin/event_bake/session.h"
#include "tools/draw/atlas.h"

namespace {

std::filesystem::path world_dir() {
  const char* dir = std::getenv("RAVELIN_BENCH_WORLD");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::path("build/retail-world");
}

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", world_dir().c_str(), message.c_str());
  std::exit(1);
}

const ravelin::event_bake::BakeSession& session_or_die() {
  static auto session = ravelin::event_bake::BakeSession::open({.dat_dir = world_dir(), .entity_source = {}, .region_did = ravelin::dat::kDefaultRegionId, .bake_sky = true});
  if (!session) die(session.error().to_string());
  return **session;
}

// The per-landblock part, on one thread: every CellLandblock fetched and decoded.
void BM_CollectTerrain(benchmark::State& state) {
  const auto& session = session_or_die();
  const std::vector<std::uint32_t> ids = session.cell_landblock_ids();
  for (auto _ : state)
    for (const std::uint32_t id : ids)
      benchmark::DoNotOptimize(ravelin::draw::read_landblock_terrain(session.cell(), id));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ids.size()));
}
BENCHMARK(BM_CollectTerrain)->Unit(benchmark::kMillisecond);

// The once-per-run part: raster, PNG and the page around a 65,025-line index.
void BM_TerrainPngAndPage(benchmark::State& state) {
  const auto& session = session_or_die();
  const std::vector<std::uint32_t> ids = session.cell_landblock_ids();
  std::vector<ravelin::draw::LandblockTerrain> landblocks;
  for (const std::uint32_t id : ids)
    if (auto land = ravelin::draw::read_landblock_terrain(session.cell(), id)) landblocks.push_back(std::move(*land));
  auto names = ravelin::draw::terrain_names(session.portal(), ravelin::dat::kDefaultRegionId);
  std::string index;
  for (const std::uint32_t id : ids) {
    char line[200];
    std::snprintf(line, sizeof line,
                  R"({"landblock_id":"0x%08X","file":"0x%04X.events.jsonl","ambient":12,"animation_sound":20,)"
                  R"("physics_script_particle":3,"sky_chain":16,"bytes":21800})" "\n",
                  id, id >> 16);
    index += line;
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto terrain = ravelin::draw::make_atlas_terrain(landblocks, ravelin::draw::bounds_of(ids), names.value_or(std::vector<std::string>{}));
    if (!terrain) die(terrain.error());
    bytes = ravelin::draw::render_atlas_html(index, {.with_pictures = false, .terrain = &*terrain, .patch = {}, .patch_page = false}).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_TerrainPngAndPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
