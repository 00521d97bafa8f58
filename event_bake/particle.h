// Particle emitters started by the default physics script of a placed object.
#pragma once

#include <cstdint>
#include <string>

namespace ravelin::event_bake {

// One particle hook of a default physics script.
struct PhysicsScriptParticleTrigger {
  std::uint32_t default_script_id = 0;
  double start_time_s = 0;
  std::uint32_t emitter_id = 0;
  std::uint32_t part_index = 0;
  bool blocking = false;

  // Field by field; the time numerically (0.0 == -0.0, NaN equals nothing).
  bool operator==(const PhysicsScriptParticleTrigger&) const = default;
  // PhysicsScriptParticleTrigger { default_script_id: ..., start_time_s: 0.5, ... }
  std::string debug_string() const;
};

}  // namespace ravelin::event_bake
