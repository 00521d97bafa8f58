// Particle emitters of the region's sky objects, per day group and time of day.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace ravelin::event_bake
