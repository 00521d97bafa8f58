#include "draw/terrain_map.h"

#include <algorithm>
#include <cstdio>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/file_type/region.h"

namespace ravelin::draw {
namespace {

constexpr std::array<Rgb, 32> kTerrainPalette = {{
    {0x2f, 0x6f, 0xb0}, {0xe6, 0xd7, 0xa3}, {0x8c, 0xc0, 0x68}, {0x2f, 0x7d, 0x3a},  // sea, shore, grass, forest
    {0x6f, 0x8a, 0x4a}, {0xa8, 0x90, 0x5c}, {0x8a, 0x85, 0x80}, {0xf4, 0xf6, 0xf8},  // marsh, hills, rock, snow
    {0xd9, 0x5f, 0x02}, {0x75, 0x70, 0xb3}, {0xe7, 0x29, 0x8a}, {0x66, 0xa6, 0x1e},
    {0xe6, 0xab, 0x02}, {0xa6, 0x76, 0x1d}, {0x1b, 0x9e, 0x77}, {0x66, 0x66, 0x66},
    {0xb2, 0x18, 0x2b}, {0x21, 0x66, 0xac}, {0x5a, 0xae, 0x61}, {0x99, 0x70, 0xab},
    {0xf4, 0x6d, 0x43}, {0x74, 0xad, 0xd1}, {0xfd, 0xae, 0x61}, {0xab, 0xd9, 0xe9},
    {0xc5, 0x1b, 0x7d}, {0x4d, 0x92, 0x21}, {0x8c, 0x51, 0x0a}, {0x01, 0x66, 0x5e},
    {0x76, 0x2a, 0x83}, {0x1b, 0x78, 0x37}, {0xb3, 0x58, 0x06}, {0x54, 0x27, 0x88},
}};

// Brightness of a vertex lit from the north-west, 256 for flat ground: the
// height differences to its neighbours (its own height where one is missing).
int hillshade(int west, int east, int north, int south) {
  return std::clamp(256 + ((east - west) + (south - north)) * 5, 150, 350);
}

std::uint8_t scaled(std::uint8_t channel, int brightness) {
  return static_cast<std::uint8_t>(std::min(255, channel * brightness / 256));
}

}  // namespace

Rgb terrain_colour(std::uint32_t terrain_type) { return kTerrainPalette[terrain_type % kTerrainPalette.size()]; }

std::string css_colour(Rgb colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.r, colour.g, colour.b);
  return text;
}

LandblockTerrain landblock_terrain(const dat::CellLandblock& cell, std::uint32_t landblock_id) {
  LandblockTerrain out{.landblock_id = landblock_id};
  std::copy(cell.terrain.begin(), cell.terrain.end(), out.terrain.begin());
  std::copy(cell.height.begin(), cell.height.end(), out.height.begin());
  return out;
}

std::optional<LandblockTerrain> read_landblock_terrain(const dat::DatDatabase& cell, std::uint32_t landblock_id) {
  const auto bytes = cell.get_file(dat::cell_landblock_file_id(landblock_id));
  if (!bytes) return std::nullopt;
  const auto decoded = dat::CellLandblock::unpack(*bytes);
  if (!decoded) return std::nullopt;
  return landblock_terrain(*decoded, landblock_id);
}

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

MapBounds bounds_of(std::span<const std::uint32_t> landblock_ids) {
  if (landblock_ids.empty()) return {};
  std::uint32_t x0 = 0xFF, x1 = 0, y0 = 0xFF, y1 = 0;
  for (const std::uint32_t id : landblock_ids) {
    const std::uint32_t x = id >> 24, y = (id >> 16) & 0xFF;
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
  }
  return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

Rgb TerrainRaster::pixel(std::uint32_t i, std::uint32_t j) const {
  const std::size_t at = (std::size_t{j} * width + i) * 4;
  return {rgba[at], rgba[at + 1], rgba[at + 2]};
}

TerrainCanvas::TerrainCanvas(const MapBounds& bounds, std::span<std::uint8_t> rgba)
    : bounds_(bounds), width_(width_of(bounds)), height_(height_of(bounds)), rgba_(rgba) {}

void TerrainCanvas::add(const LandblockTerrain& lb) {
  const std::uint32_t x = lb.landblock_id >> 24, y = (lb.landblock_id >> 16) & 0xFF;
  if (x < bounds_.x0 || x >= bounds_.x0 + bounds_.columns || y < bounds_.y0 || y >= bounds_.y0 + bounds_.rows) return;
  for (std::uint32_t n = 0; n < dat::kLandblockVertexCount; ++n) {
    const std::uint32_t i = (x - bounds_.x0) * 8 + n / 9, j = (bounds_.y0 + bounds_.rows - y) * 8 - n % 9;
    std::uint8_t* p = &rgba_[(std::size_t{j} * width_ + i) * 4];
    p[0] = lb.height[n];
    p[1] = static_cast<std::uint8_t>(dat::terrain_type(lb.terrain[n]));
    p[3] = 255;
  }
}

void TerrainCanvas::shade() {
  // Row by row from the north, in place: a pixel's light needs its
  // neighbours' heights as painted, so the heights of the row above, its own
  // row and the row below are taken out before its colours overwrite them.
  auto load = [&](std::vector<int>& heights, std::uint32_t j) {
    const std::uint8_t* p = &rgba_[std::size_t{j} * width_ * 4];
    for (std::uint32_t i = 0; i < width_; ++i, p += 4) heights[i] = p[3] != 0 ? int{p[0]} : -1;
  };
  std::vector<int> above(width_, -1), row(width_, -1), below(width_, -1);
  if (height_ > 0) load(row, 0);
  for (std::uint32_t j = 0; j < height_; ++j) {
    if (j + 1 < height_) load(below, j + 1);
    std::uint8_t* p = &rgba_[std::size_t{j} * width_ * 4];
    for (std::uint32_t i = 0; i < width_; ++i, p += 4) {
      const int h = row[i];
      if (h < 0) continue;
      auto known = [h](int v) { return v < 0 ? h : v; };
      const int west = i > 0 ? known(row[i - 1]) : h;
      const int east = i + 1 < width_ ? known(row[i + 1]) : h;
      const int north = j > 0 ? known(above[i]) : h;
      const int south = j + 1 < height_ ? known(below[i]) : h;
      const Rgb c = terrain_colour(p[1]);
      const int light = hillshade(west, east, north, south);
      p[0] = scaled(c.r, light), p[1] = scaled(c.g, light), p[2] = scaled(c.b, light);
    }
    std::swap(above, row);
    std::swap(row, below);
  }
}

namespace {

TerrainRaster blank_raster(const MapBounds& bounds) {
  return {.bounds = bounds, .width = TerrainCanvas::width_of(bounds), .height = TerrainCanvas::height_of(bounds),
          .rgba = std::vector<std::uint8_t>(TerrainCanvas::rgba_size(bounds))};
}

}  // namespace

TerrainRaster draw_terrain(std::span<const LandblockTerrain> landblocks, const MapBounds& bounds) {
  TerrainRaster out = blank_raster(bounds);
  TerrainCanvas canvas(bounds, out.rgba);
  for (const LandblockTerrain& lb : landblocks) canvas.add(lb);
  canvas.shade();
  return out;
}

// Each landblock painted as it is read: the world's landblocks are never all held.
TerrainRaster draw_world_terrain(const dat::DatDatabase& cell) {
  const std::vector<std::uint32_t> ids = dat::cell_landblock_ids(cell);
  TerrainRaster out = blank_raster(bounds_of(ids));
  TerrainCanvas canvas(out.bounds, out.rgba);
  for (const std::uint32_t id : ids)
    if (const auto land = read_landblock_terrain(cell, id)) canvas.add(*land);
  canvas.shade();
  return out;
}

TerrainSummary summarize_terrain(const LandblockTerrain& landblock) {
  TerrainSummary s{.landblock_id = landblock.landblock_id};
  const auto [lo, hi] = std::minmax_element(landblock.height.begin(), landblock.height.end());
  s.min_height = *lo, s.max_height = *hi;
  for (const std::uint16_t word : landblock.terrain) s.type_mask |= 1u << dat::terrain_type(word);
  return s;
}

void write_terrain_keys(common::JsonWriter& out, std::span<const std::string> names,
                        std::span<const TerrainSummary> summaries) {
  out.key("names").begin_array();
  for (const std::string& name : names) out.text(name);
  out.end_array();
  out.key("palette").begin_array();
  for (std::uint32_t t = 0; t < kTerrainPalette.size(); ++t) out.text(css_colour(terrain_colour(t)));
  out.end_array();
  out.key("blocks").begin_array();
  for (const TerrainSummary& s : summaries) {
    out.number(s.landblock_id >> 16);
    out.number(s.type_mask);
    out.number(s.min_height);
    out.number(s.max_height);
  }
  out.end_array();
}

}  // namespace ravelin::draw
