// The land of a world as the atlas draws it: one pixel per landblock vertex,
// coloured by terrain type from a fixed palette and hillshaded from the height
// bytes, plus a per-landblock summary (terrain types present, height range)
// for the atlas panel. Pixels only: the tool writes them as PNG.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/json_text.h"
#include "ravelin/dat/landblock.h"
#include "ravelin/dat/lib.h"

namespace ravelin::draw {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// Colour of terrain type 0 to 31 (higher types wrap). 0 to 7 follow the
// usual order of a region's table (sea, shore, grassland, forest, marsh,
// hills, rock, snow); the rest are distinct but carry no meaning.
Rgb terrain_colour(std::uint32_t terrain_type);
// "#rrggbb".
std::string css_colour(Rgb colour);

// One landblock's CellLandblock as the atlas needs it.
struct LandblockTerrain {
  std::uint32_t landblock_id = 0;  // number in the high 16 bits
  std::array<std::uint16_t, dat::kLandblockVertexCount> terrain{};
  std::array<std::uint8_t, dat::kLandblockVertexCount> height{};
};

LandblockTerrain landblock_terrain(const dat::CellLandblock& cell, std::uint32_t landblock_id);

// The land of `landblock_id` from its CellLandblock in `cell`, or nothing when
// it is missing or does not decode. Safe from several threads at once.
std::optional<LandblockTerrain> read_landblock_terrain(const dat::DatDatabase& cell, std::uint32_t landblock_id);

// The names of the region's terrain types (the region `region_id` of
// `portal`), or the reason they cannot be read.
std::expected<std::vector<std::string>, std::string> terrain_names(const dat::DatDatabase& portal,
                                                                   std::uint32_t region_id);

// The landblock rectangle a map covers: x in [x0, x0 + columns), y likewise.
struct MapBounds {
  std::uint32_t x0 = 0, y0 = 0, columns = 1, rows = 1;
};

// The bounds of `landblock_ids` (ids with the number in the high 16 bits);
// an empty list gives the single landblock 0x0000.
MapBounds bounds_of(std::span<const std::uint32_t> landblock_ids);

// An RGBA image of (8 columns + 1) x (8 rows + 1) pixels, north up: pixel
// (i, j) is the vertex 8 * x0 + i, 8 * (y0 + rows) - j of the world. Vertices
// of no landblock are transparent.
struct TerrainRaster {
  MapBounds bounds;
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgba;  // row by row from the north, 4 bytes a pixel

  Rgb pixel(std::uint32_t i, std::uint32_t j) const;
  std::uint8_t alpha(std::uint32_t i, std::uint32_t j) const { return rgba[(std::size_t{j} * width + i) * 4 + 3]; }
};

// The land of `bounds` painted one landblock at a time into an RGBA image
// and shaded there at the end: a world's raster with nothing held beside the
// image, neither every landblock nor a grid of heights. Until shade() a
// painted pixel holds the vertex's height and terrain type, and alpha 255.
// Where two landblocks share an edge vertex, the one added later wins.
class TerrainCanvas {
 public:
  // `rgba`: rgba_size(bounds) bytes, all zero; it must outlive the canvas.
  TerrainCanvas(const MapBounds& bounds, std::span<std::uint8_t> rgba);
  static std::uint32_t width_of(const MapBounds& bounds) { return bounds.columns * 8 + 1; }
  static std::uint32_t height_of(const MapBounds& bounds) { return bounds.rows * 8 + 1; }
  static std::size_t rgba_size(const MapBounds& bounds) { return std::size_t{width_of(bounds)} * height_of(bounds) * 4; }

  // Paints the landblock's 81 vertices; one outside the bounds is left out.
  void add(const LandblockTerrain& landblock);
  // Turns the painted vertices into their colours, once, after the last add;
  // pixels of no landblock stay transparent black.
  void shade();

 private:
  MapBounds bounds_;
  std::uint32_t width_, height_;
  std::span<std::uint8_t> rgba_;
};

// The raster of `landblocks` in bake order: where two share an edge vertex,
// the later one's word and height win. Landblocks outside `bounds` are left out.
TerrainRaster draw_terrain(std::span<const LandblockTerrain> landblocks, const MapBounds& bounds);

// The raster of every landblock `cell` has a CellLandblock for, over the
// bounds of them all: the atlas's picture of a whole world baked.
TerrainRaster draw_world_terrain(const dat::DatDatabase& cell);

// Per landblock: the terrain types its 81 vertices carry (bit t for type t)
// and its lowest and highest height byte.
struct TerrainSummary {
  std::uint32_t landblock_id = 0;
  std::uint32_t type_mask = 0;
  std::uint8_t min_height = 0, max_height = 0;
};
TerrainSummary summarize_terrain(const LandblockTerrain& landblock);

// What the atlas's drawing script reads of the land beside its pixels, as
// keys of the object `out` is writing: "names" (the region's terrain type
// names; none when they are unknown), "palette" (the 32 type colours) and
// "blocks" (landblock number, type mask, lowest and highest height of each
// landblock, one flat list).
void write_terrain_keys(common::JsonWriter& out, std::span<const std::string> names,
                        std::span<const TerrainSummary> summaries);

}  // namespace ravelin::draw
