#include "dat_writer/sample_terrain.h"

#include <algorithm>

namespace ravelin::dat_writer {

const char* const kSampleTerrainNames[kSampleTerrainCount] = {"Sea",   "Shore", "Grassland", "Forest",
                                                              "Marsh", "Hills", "Rock",      "Snow"};

namespace {

constexpr std::uint64_t kHeightSalt = 0x6865696768740000ull;
constexpr std::uint64_t kMoistureSalt = 0x6D6F697374000000ull;
constexpr std::uint64_t kSceneSalt = 0x7363656E65000000ull;
// Lattice cells across the world in the coarsest octave.
constexpr std::int64_t kBaseCells = 3;

// A well-mixed 64-bit value of the inputs (the splitmix64 finaliser).
std::uint64_t mix(std::uint64_t seed, std::uint64_t salt, std::int64_t ix, std::int64_t iy) {
  std::uint64_t z = seed ^ salt ^ (static_cast<std::uint64_t>(ix) * 0x9E3779B97F4A7C15ull) ^
                    (static_cast<std::uint64_t>(iy) * 0xC2B2AE3D27D4EB4Full);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Lattice value in [-32768, 32767].
std::int64_t lattice(std::uint64_t seed, std::uint64_t salt, std::int64_t ix, std::int64_t iy) {
  return static_cast<std::int64_t>(mix(seed, salt, ix, iy) & 0xFFFF) - 32768;
}

// 3t^2 - 2t^3 of a 16-bit fraction: the lattice shows no creases.
std::int64_t smooth(std::int64_t t) { return (t * t * (3 * 65536 - 2 * t)) >> 32; }

std::int64_t lerp(std::int64_t a, std::int64_t b, std::int64_t t) { return a + (((b - a) * t) >> 16); }

}  // namespace

SampleLand::SampleLand(std::uint64_t seed, std::uint32_t first_x, std::uint32_t first_y, std::uint32_t width,
                       std::uint32_t height)
    : seed_(seed),
      centre_x2_(static_cast<std::int64_t>(first_x) * 16 + static_cast<std::int64_t>(width) * 8),
      centre_y2_(static_cast<std::int64_t>(first_y) * 16 + static_cast<std::int64_t>(height) * 8),
      extent_(std::max<std::int64_t>(8, static_cast<std::int64_t>(std::max(width, height)) * 8)),
      octaves_(1) {
  // Octaves down to a lattice spacing of about two vertices.
  while (octaves_ < 7 && extent_ / (kBaseCells << octaves_) >= 2) ++octaves_;
}

std::int32_t SampleLand::fbm(std::uint64_t salt, std::int64_t gx, std::int64_t gy, int octaves) const {
  // Shifted to positive coordinates so that >> 16 is a floor everywhere.
  const std::int64_t px = gx * 2 - centre_x2_ + extent_ * 8;
  const std::int64_t py = gy * 2 - centre_y2_ + extent_ * 8;
  std::int64_t total = 0;
  for (int o = 0; o < octaves; ++o) {
    const std::int64_t cells = kBaseCells << o;
    const std::int64_t fx = px * (cells << 16) / (extent_ * 2), fy = py * (cells << 16) / (extent_ * 2);
    const std::int64_t ix = fx >> 16, iy = fy >> 16;
    const std::int64_t tx = smooth(fx & 0xFFFF), ty = smooth(fy & 0xFFFF);
    const std::uint64_t s = salt + static_cast<std::uint64_t>(o);
    const std::int64_t south = lerp(lattice(seed_, s, ix, iy), lattice(seed_, s, ix + 1, iy), tx);
    const std::int64_t north = lerp(lattice(seed_, s, ix, iy + 1), lattice(seed_, s, ix + 1, iy + 1), tx);
    total += lerp(south, north, ty) >> o;
  }
  return static_cast<std::int32_t>(total / 2);
}

SampleVertex SampleLand::at(std::int64_t gx, std::int64_t gy) const {
  // Distance from the centre, 65536 at the middle of an edge.
  const std::int64_t ux = (gx * 2 - centre_x2_) * 65536 / extent_, uy = (gy * 2 - centre_y2_) * 65536 / extent_;
  const std::int64_t r2 = (ux * ux + uy * uy) >> 16;
  // An island: land rises towards the middle, and the sea takes the rim.
  const std::int64_t e = fbm(kHeightSalt, gx, gy, octaves_) * 3 / 2 + 15000 - ((r2 * 25000) >> 16);
  const std::int64_t m = fbm(kMoistureSalt, gx, gy, std::max(1, octaves_ - 2));

  SampleVertex v;
  v.height = static_cast<std::uint8_t>(std::clamp<std::int64_t>(64 + e / 160, 0, 255));
  using T = SampleTerrain;
  if (e < 0) v.terrain = T::Sea;
  else if (e < 1800) v.terrain = T::Shore;
  else if (e >= 20000) v.terrain = T::Snow;
  else if (e >= 16000) v.terrain = T::Rock;
  else if (e >= 11000) v.terrain = m > 6000 ? T::Forest : T::Hills;
  else if (m > 9000 && e < 5000) v.terrain = T::Marsh;
  else v.terrain = m > 1500 ? T::Forest : T::Grassland;
  v.scene = static_cast<std::uint32_t>(mix(seed_, kSceneSalt, gx >> 2, gy >> 2) % 3);
  return v;
}

}  // namespace ravelin::dat_writer
