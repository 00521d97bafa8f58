// Particle emitters started by the default physics script of a placed object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ravelin/dat/file_type/hook_fields.h"
#include "ravelin/dat/file_type/physics_script.h"

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

namespace particle {

// Hook types that start a particle emitter and their payload fields.
using dat::file_type::kCreateBlockingParticleHook;
using dat::file_type::kCreateParticleHook;
using dat::file_type::particle_hook_fields;
using dat::file_type::ParticleHookFields;

// One trigger per particle hook (type 13 or 26, payload of at least 8 bytes) of
// `script`, in script order, each carrying `default_script_id` (the id the setup
// named; the script's own id is not used).
std::vector<PhysicsScriptParticleTrigger> bake_particle_manifest(
    std::uint32_t default_script_id, const dat::file_type::PhysicsScript& script);

}  // namespace particle

}  // namespace ravelin::event_bake
