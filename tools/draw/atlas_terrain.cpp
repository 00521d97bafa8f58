#include "tools/draw/atlas_terrain.h"

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/file_type/region.h"
#include "tools/draw/png_image.h"

namespace ravelin::draw {

std::expected<std::vector<std::string>, std::string> terrain_names(const dat::DatDatabase& portal,
                                                                   std::uint32_t region_id) {
  auto bytes = portal.get_file(region_id);
  if (!bytes) return std::unexpected(bytes.error().to_string());
  common::Reader reader(*bytes);
  auto region = dat::file_type::Region::unpack(reader);
  if (!region) return std::unexpected(region.error().to_string());
  std::vector<std::string> names;
  for (const auto& type : region->terrain.terrain_types) names.push_back(type.name);
  return names;
}

std::expected<AtlasTerrain, std::string> make_atlas_terrain(std::span<const LandblockTerrain> landblocks,
                                                            const MapBounds& bounds, std::vector<std::string> names) {
  const TerrainRaster raster = draw_terrain(landblocks, bounds);
  auto png = encode_png_rgba(raster.rgba, raster.width, raster.height);
  if (!png) return std::unexpected(std::move(png.error()));
  AtlasTerrain out{.bounds = bounds, .width = raster.width, .height = raster.height, .png = std::move(*png),
                   .names = std::move(names), .summaries = {}};
  out.summaries.reserve(landblocks.size());
  for (const LandblockTerrain& lb : landblocks) out.summaries.push_back(summarize_terrain(lb));
  return out;
}

std::optional<LandblockTerrain> read_landblock_terrain(const dat::DatDatabase& cell, std::uint32_t landblock_id) {
  const auto bytes = cell.get_file(dat::cell_landblock_file_id(landblock_id));
  if (!bytes) return std::nullopt;
  const auto decoded = dat::CellLandblock::unpack(*bytes);
  if (!decoded) return std::nullopt;
  return landblock_terrain(*decoded, landblock_id);
}

}  // namespace ravelin::draw
