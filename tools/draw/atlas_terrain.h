// The terrain layer of the atlas, gathered while a world is baked: each baked
// landblock's CellLandblock read once more (a 252-byte fetch beside a whole
// bake), then drawn, encoded as PNG and summarised for the page.
#pragma once

#include <cstdint>
#include <expected>
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

// The land of `landblock_id` from its CellLandblock in `cell`, or nothing when
// it is missing or does not decode. Safe from several threads at once.
std::optional<LandblockTerrain> read_landblock_terrain(const dat::DatDatabase& cell, std::uint32_t landblock_id);

}  // namespace ravelin::draw
