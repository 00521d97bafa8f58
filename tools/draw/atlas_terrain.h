// The terrain layer of the atlas, gathered while a world is baked: each baked
// landblock's CellLandblock read once more from its own open cell archive (a
// 252-byte fetch beside a whole bake), then drawn, encoded as PNG and
// summarised for the page.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ravelin/dat/lib.h"
#include "tools/draw/terrain_map.h"

namespace ravelin::draw {

// What the page carries of the land.
struct AtlasTerrain {
  MapBounds bounds;
  std::uint32_t width = 0, height = 0;  // of the PNG, in vertices
  std::vector<std::uint8_t> png;
  // The region's terrain table names, by terrain type; types past its end have none.
  std::vector<std::string> names;
  std::vector<TerrainSummary> summaries;  // one per landblock with a CellLandblock, in bake order
};

// The names of the region's terrain types (the region `region_id` of
// `portal`), or the reason they cannot be read.
std::expected<std::vector<std::string>, std::string> terrain_names(const dat::DatDatabase& portal,
                                                                   std::uint32_t region_id);

// The raster, PNG and summaries of `landblocks` (bake order) over `bounds`.
std::expected<AtlasTerrain, std::string> make_atlas_terrain(std::span<const LandblockTerrain> landblocks,
                                                            const MapBounds& bounds, std::vector<std::string> names);

// Slots for the landblocks of one bake-all run, filled by its workers.
class TerrainCollector {
 public:
  // Opens "client_cell_1.dat" of `dat_dir` for `slots` landblocks.
  static std::expected<TerrainCollector, std::string> open(const std::filesystem::path& dat_dir, std::size_t slots);

  // Reads the CellLandblock of `landblock_id` into `slot`; one that is missing
  // or does not decode leaves it empty. Distinct slots may be filled from
  // several threads at once.
  void collect(std::size_t slot, std::uint32_t landblock_id);
  // The CellLandblock of `landblock_id`, or nothing when it is missing or does not decode.
  std::optional<LandblockTerrain> read(std::uint32_t landblock_id) const;
  // What collect stored in `slot`.
  const std::optional<LandblockTerrain>& at(std::size_t slot) const { return slots_[slot]; }

  // The filled slots, in slot order.
  std::vector<LandblockTerrain> landblocks() const;

 private:
  TerrainCollector(dat::DatDatabase cell, std::size_t slots);
  std::unique_ptr<dat::DatDatabase> cell_;
  std::vector<std::optional<LandblockTerrain>> slots_;
};

}  // namespace ravelin::draw
