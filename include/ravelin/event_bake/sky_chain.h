// Particle emitters of the region's sky objects, per day group and time of day.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/id_map.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"

namespace ravelin::event_bake {

// Where a sky object's physics script was found.
enum class ScriptSource : std::uint8_t { SkyObject, SetupModel };

// The value name: "SkyObject" or "SetupModel".
std::string_view debug_name(ScriptSource source);
// The manifest's spelling: "sky_object" or "setup_model".
std::string_view jsonl_name(ScriptSource source);

// One particle hook of a sky object's physics script within a day group.
struct SkyParticleTrigger {
  std::uint32_t day_group_idx = 0;
  std::string day_group_name;
  float day_group_chance = 0;
  float active_fraction_start = 0;
  float active_fraction_end = 0;
  std::uint32_t sky_object_idx = 0;
  std::uint32_t sky_object_id = 0;
  std::uint32_t physics_script_id = 0;
  ScriptSource physics_script_source = ScriptSource::SkyObject;
  std::uint32_t hook_idx = 0;
  double start_time_s = 0;
  std::uint32_t emitter_id = 0;
  bool blocking = false;

  // Field by field; the name by bytes, floats numerically.
  bool operator==(const SkyParticleTrigger&) const = default;
  // SkyParticleTrigger { day_group_idx: 0, day_group_name: "Dawn", ...,
  // physics_script_source: SkyObject, ... }
  std::string debug_string() const;
};

namespace sky_chain {

// The id ranges the chain follows.
using dat::is_physics_script_id;
using dat::is_setup_model_id;

// Per-bake caches keyed by file id; an empty optional records a file that could
// not be fetched or decoded. Only inserted into and looked up.
using ScriptCache = common::IdMap<std::uint32_t, std::optional<dat::file_type::PhysicsScript>>;
using SetupCache = common::IdMap<std::uint32_t, std::optional<dat::file_type::SetupModel>>;

// Walks day group g -> sky object k -> physics script -> entry h and emits one
// trigger per particle hook (type 13 or 26, payload of at least 8 bytes), in
// (g, k, h) order; h counts every entry of the script. The script is the sky
// object's own `script_id` when non-zero (it must be a 0x33 id), otherwise the
// `default_script_id` (a 0x33 id) of the setup model (a 0x02 id) the object
// shows. Objects whose script or setup is not cached with a value yield nothing.
// No sorting and no deduplication: a script shared by several objects yields
// its records once per object. Never touches an archive.
std::vector<SkyParticleTrigger> enumerate_sky_particle_chain(const dat::file_type::Region& region,
                                                             const ScriptCache& script_cache,
                                                             const SetupCache& setup_cache);

}  // namespace sky_chain

}  // namespace ravelin::event_bake
