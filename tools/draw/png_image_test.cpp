// The terrain layer without a browser: the PNG's size, where each landblock's
// vertices land (north up, shared edges to the later landblock), the palette
// and the hillshade, read back through libpng.
#include "draw/terrain_map.h"

#include <gtest/gtest.h>
#include <png.h>

#include "tools/draw/png_image.h"

namespace ravelin::draw {
namespace {

struct Decoded {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
  std::array<std::uint8_t, 4> at(std::uint32_t i, std::uint32_t j) const {
    const std::size_t k = (std::size_t{j} * width + i) * 4;
    return {rgba[k], rgba[k + 1], rgba[k + 2], rgba[k + 3]};
  }
};

Decoded decode(const std::vector<std::uint8_t>& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Decoded out;
  if (png_image_begin_read_from_memory(&image, png.data(), png.size()) == 0) return out;
  image.format = PNG_FORMAT_RGBA;
  out.width = image.width, out.height = image.height;
  out.rgba.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) == 0) out.rgba.clear();
  return out;
}

// Every vertex of type `type` at height `height`, or rising by `slope` a
// column eastward (a row northward when `northward`).
LandblockTerrain flat(std::uint32_t landblock, std::uint32_t type, std::uint8_t height, int slope = 0,
                      bool northward = false) {
  LandblockTerrain t{.landblock_id = landblock << 16};
  for (std::uint32_t n = 0; n < 81; ++n) {
    t.terrain[n] = static_cast<std::uint16_t>(type << 2 | 0x3);  // bits 0-1 are not the type
    t.height[n] = static_cast<std::uint8_t>(height + slope * static_cast<int>(northward ? n % 9 : n / 9));
  }
  return t;
}

std::array<std::uint8_t, 4> opaque(Rgb c) { return {c.r, c.g, c.b, 255}; }

TEST(TerrainMap, PngHasAPixelPerVertexNorthUpAndTheLaterLandblockWinsTheEdge) {
  // 0x0102 grass and 0x0202 sea side by side; the bounds reach up to 0x0103, which has no terrain.
  const std::vector<std::uint32_t> ids = {0x01020000, 0x02020000, 0x01030000};
  const MapBounds bounds = bounds_of(ids);
  EXPECT_EQ(bounds.x0, 1u);
  EXPECT_EQ(bounds.y0, 2u);
  EXPECT_EQ(bounds.columns, 2u);
  EXPECT_EQ(bounds.rows, 2u);
  const struct {
    std::vector<LandblockTerrain> order;
    std::uint32_t edge_type;
  } cases[] = {
      {{flat(0x0102, 2, 40), flat(0x0202, 0, 40)}, 0},
      {{flat(0x0202, 0, 40), flat(0x0102, 2, 40)}, 2},
  };
  for (const auto& c : cases) {
    const TerrainRaster raster = draw_terrain(c.order, bounds);
    const auto png = encode_png_rgba(raster.rgba, raster.width, raster.height);
    ASSERT_TRUE(png.has_value()) << png.error();
    const Decoded image = decode(*png);
    ASSERT_EQ(image.width, 17u);
    ASSERT_EQ(image.height, 17u);
    ASSERT_EQ(image.rgba, raster.rgba);
    // Row 16 is the south edge (y = 2, row 0 of the vertices); row 8 the shared north edge.
    EXPECT_EQ(image.at(0, 16), opaque(terrain_colour(2)));   // 0x0102 vertex 0
    EXPECT_EQ(image.at(7, 9), opaque(terrain_colour(2)));    // 0x0102 vertex 7 * 9 + 7
    EXPECT_EQ(image.at(16, 8), opaque(terrain_colour(0)));   // 0x0202 vertex 80
    EXPECT_EQ(image.at(8, 12), opaque(terrain_colour(c.edge_type)));
    EXPECT_EQ(image.at(4, 4)[3], 0) << "0x0103 has no CellLandblock: transparent";
    EXPECT_EQ(image.at(12, 0)[3], 0);
  }
}

TEST(TerrainMap, SlopesFacingTheLightAreBrighterAndTheSummaryHoldsTheRange) {
  // Rising to the east faces the west light: brighter than the flat colour.
  const LandblockTerrain slope = flat(0x0000, 5, 20, 4);
  const TerrainRaster lit = draw_terrain({&slope, 1}, bounds_of(std::vector<std::uint32_t>{0}));
  const Rgb base = terrain_colour(5), shaded = lit.pixel(4, 4);
  EXPECT_GT(shaded.r, base.r);
  EXPECT_GT(shaded.g, base.g);
  const LandblockTerrain down = flat(0x0000, 5, 60, -4);
  const Rgb dark = draw_terrain({&down, 1}, bounds_of(std::vector<std::uint32_t>{0})).pixel(4, 4);
  EXPECT_LT(dark.r, base.r);

  LandblockTerrain mixed = flat(0x0A0B, 3, 20, 4);
  mixed.terrain[80] = static_cast<std::uint16_t>(31 << 2 | 7 << 11);
  const TerrainSummary s = summarize_terrain(mixed);
  EXPECT_EQ(s.landblock_id, 0x0A0B0000u);
  EXPECT_EQ(s.type_mask, (1u << 3) | (1u << 31));
  EXPECT_EQ(s.min_height, 20);
  EXPECT_EQ(s.max_height, 52);
}

TEST(TerrainMap, LightComesFromTheNorthWestAtEveryVertex) {
  // Brightness 256 + 5 * ((east - west) + (south - north)) in 256ths; on a
  // slope of 4 a vertex inside differs by 8 from each pair of neighbours, one
  // on the edge by 4 (its own height stands in for the one beyond).
  const struct {
    const char* name;
    int slope;
    bool northward;
    int inside, edge;
  } cases[] = {
      {"rising east", 4, false, 296, 276},
      {"falling east", -4, false, 216, 236},
      {"rising north", 4, true, 216, 236},
      {"falling north", -4, true, 296, 276},
  };
  const Rgb base = terrain_colour(5);
  auto lit = [&](int brightness) {
    auto c = [&](std::uint8_t v) { return static_cast<std::uint8_t>(std::min(255, v * brightness / 256)); };
    return Rgb{c(base.r), c(base.g), c(base.b)};
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const LandblockTerrain land = flat(0x0000, 5, 100, c.slope, c.northward);
    const TerrainRaster raster = draw_terrain({&land, 1}, bounds_of(std::vector<std::uint32_t>{0}));
    for (std::uint32_t j = 1; j < 8; ++j)
      for (std::uint32_t i = 1; i < 8; ++i) EXPECT_EQ(raster.pixel(i, j), lit(c.inside)) << i << "," << j;
    // The edges across the slope: the first and last column (row) of vertices.
    EXPECT_EQ(raster.pixel(c.northward ? 4 : 0, c.northward ? 0 : 4), lit(c.edge));
    EXPECT_EQ(raster.pixel(c.northward ? 4 : 8, c.northward ? 8 : 4), lit(c.edge));
  }
}

TEST(TerrainMap, PngOfAWrongSizeIsRefused) {
  const std::vector<std::uint8_t> three_pixels(12, 0);
  EXPECT_FALSE(encode_png_rgba(three_pixels, 2, 2).has_value());
  EXPECT_FALSE(encode_png_rgba({}, 0, 0).has_value());
  EXPECT_TRUE(encode_png_rgba(three_pixels, 3, 1).has_value());
}

}  // namespace
}  // namespace ravelin::draw
