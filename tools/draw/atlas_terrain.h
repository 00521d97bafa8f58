// The terrain layer of the atlas, gathered while a world is baked: each baked
// landblock's CellLandblock read once more (a 252-byte fetch beside a whole
// bake, draw/terrain_map.h), then drawn, encoded as PNG and summarised for the
// page.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "ravelin/dat/lib.h"
#include "draw/terrain_map.h"

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

// The raster, PNG and summaries of `landblocks` (bake order) over `bounds`.
std::expected<AtlasTerrain, std::string> make_atlas_terrain(std::span<const LandblockTerrain> landblocks,
                                                            const MapBounds& bounds, std::vector<std::string> names);

}  // namespace ravelin::draw
