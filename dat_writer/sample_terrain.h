// The land of a sample world: heights and moisture from a seeded integer
// fractal noise over the whole world's vertex grid, so that neighbouring
// landblocks agree on their shared edge vertices, and the terrain type and
// scene type each vertex gets from them. Integer arithmetic only: every
// compiler and optimisation level draws the same land.
#pragma once

#include <cstdint>

namespace ravelin::dat_writer {

// Terrain types of the sample region, by their index in its terrain table.
enum class SampleTerrain : std::uint32_t { Sea, Shore, Grassland, Forest, Marsh, Hills, Rock, Snow };
inline constexpr std::uint32_t kSampleTerrainCount = 8;
// Their names in the region's terrain table, in index order.
extern const char* const kSampleTerrainNames[kSampleTerrainCount];

// One vertex of the land.
struct SampleVertex {
  SampleTerrain terrain = SampleTerrain::Sea;
  std::uint32_t scene = 0;  // 0 to 2, in patches of a few vertices
  std::uint8_t height = 0;
};

// The land of a world whose landblocks span [first_x, first_x + width) x
// [first_y, first_y + height): an island filling that rectangle, its
// features scaled to its size. Vertices outside it are sea.
class SampleLand {
 public:
  SampleLand(std::uint64_t seed, std::uint32_t first_x, std::uint32_t first_y, std::uint32_t width,
             std::uint32_t height);

  // World vertex (gx, gy) = (8 * landblock x + column, 8 * landblock y + row).
  SampleVertex at(std::int64_t gx, std::int64_t gy) const;

 private:
  // Sum of `octaves` octaves of value noise at 16.16 fixed-point lattice
  // coordinates; about -32768 to 32767.
  std::int32_t fbm(std::uint64_t salt, std::int64_t gx, std::int64_t gy, int octaves) const;

  std::uint64_t seed_;
  std::int64_t centre_x2_, centre_y2_;  // twice the centre, in vertices
  std::int64_t extent_;                 // the longer side, in vertices
  int octaves_;
};

}  // namespace ravelin::dat_writer
