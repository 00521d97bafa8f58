// Encoder for setup model files, from a plain description. Everything is
// written in file order exactly as described: counts come from the list sizes
// (or from an override), keyed entries keep their order and their repeats.
// Descriptions the library's encoder takes go through it; the rest (broken on
// purpose) are written by hand.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "dat_writer/geometry_encoder.h"
#include "dat_writer/hook_encoder.h"

namespace ravelin::dat_writer {

struct LocationDef {
  std::uint32_t part_id = 0;
  FrameDef frame;
};

struct CylSphereDef {
  Vec3Def origin;
  F32 radius;
  F32 height;
};

struct LightDef {
  FrameDef viewer_space_location;
  std::uint32_t color = 0;
  F32 intensity;
  F32 falloff;
  F32 cone_angle;
};

struct SetupDef {
  std::uint32_t id = 0x02000001;
  std::uint32_t flags = 0;  // bit 0: part_refs written, bit 1: part_vectors written
  std::vector<std::uint32_t> parts;  // its size is the written part count
  std::vector<std::uint32_t> part_refs;
  std::vector<Vec3Def> part_vectors;
  std::vector<std::pair<std::uint32_t, LocationDef>> locations_1;
  std::vector<std::pair<std::uint32_t, LocationDef>> locations_2;
  std::vector<std::pair<std::int32_t, AnimFrameDef>> placements;
  // Written instead of the number of placements (e.g. a negative count).
  std::optional<std::int32_t> placement_count;
  std::vector<CylSphereDef> cyl_spheres;
  std::vector<SphereDef> spheres;
  std::array<std::uint32_t, 4> scalars = {};
  SphereDef sphere_1;
  SphereDef sphere_2;
  std::vector<std::pair<std::uint32_t, LightDef>> lights;
  // Written as plain words: 0 means absent.
  std::uint32_t default_id_1 = 0;
  std::uint32_t default_script_id = 0;
  std::uint32_t motion_table_id = 0;
  std::uint32_t default_id_4 = 0;
  std::uint32_t default_id_5 = 0;
};

std::vector<std::uint8_t> encode_setup_model(const SetupDef& setup);

// A setup with `part_count` parts (ids 0x01000000 + index) and one placement
// (key 0) of identity part frames without hooks; optional ids as given (0: none).
SetupDef setup_with_parts(std::uint32_t id, std::uint32_t part_count,
                           std::uint32_t default_script_id = 0, std::uint32_t motion_table_id = 0);

}  // namespace ravelin::dat_writer
