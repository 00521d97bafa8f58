#include "tools/draw/atlas_terrain.h"

#include "tools/draw/png_image.h"

namespace ravelin::draw {

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

}  // namespace ravelin::draw
