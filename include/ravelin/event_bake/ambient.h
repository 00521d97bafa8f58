// Ambient sound events of a landblock's terrain: one trigger per group of
// vertices sharing a terrain type and a scene type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/landblock.h"

namespace ravelin::event_bake {

// One ambient sound of a trigger's sound table.
struct AmbientSoundRecord {
  std::uint32_t s_type = 0;
  float volume = 0;
  float base_chance = 0;
  float min_rate = 0;
  float max_rate = 0;
  bool continuous = false;

  // Field by field; floats numerically (0.0 == -0.0, NaN equals nothing).
  bool operator==(const AmbientSoundRecord&) const = default;
  // AmbientSoundRecord { s_type: 1, volume: 0.5, ... continuous: true }
  std::string debug_string() const;
};

// The vertices of one (terrain type, scene type) group and the sounds their
// sound table plays.
struct AmbientTrigger {
  std::uint32_t terrain_type = 0;
  std::uint32_t scene_type = 0;
  std::uint32_t scene_info_idx = 0;
  std::uint32_t stb_index = 0;
  std::uint32_t stb_id = 0;
  std::vector<std::uint32_t> vertex_indices;
  std::vector<AmbientSoundRecord> ambient_sounds;

  // Field by field, lists element by element in order.
  bool operator==(const AmbientTrigger&) const = default;
  // AmbientTrigger { terrain_type: 1, ..., vertex_indices: [0, 9], ambient_sounds: [...] }
  std::string debug_string() const;
};

namespace ambient {

// One trigger per (terrain type, scene type) group of the landblock's 81 vertices
// whose chain terrain type -> scene info index -> scene type -> sound table
// resolves in the region's tables, ascending by (terrain type, scene type). A
// group whose chain leaves a table (or meets a negative sound table index) is
// dropped; a region without scene or sound description gives no triggers.
// `landblock_id` does not influence the result.
std::vector<AmbientTrigger> bake_ambient_manifest(const dat::file_type::Region& region,
                                                  const dat::CellLandblock& cell_landblock,
                                                  std::uint32_t landblock_id);

}  // namespace ambient

}  // namespace ravelin::event_bake
