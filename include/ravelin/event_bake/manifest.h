// The result of a landblock bake and its JSON Lines serialisation, the
// manifest.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/event_bake/ambient.h"
#include "ravelin/event_bake/anim_sound.h"
#include "ravelin/event_bake/event_family.h"
#include "ravelin/event_bake/particle.h"
#include "ravelin/event_bake/sky_chain.h"

namespace ravelin::event_bake {

// Every presentation event one landblock can trigger, each list in the order
// the bake fixed for it.
struct LandblockEventBake {
  std::uint32_t landblock_id = 0;
  std::uint32_t region_did = 0;
  std::vector<AmbientTrigger> ambient_terrain_events;
  std::vector<AnimSoundTrigger> anim_hook_events;
  std::vector<PhysicsScriptParticleTrigger> physics_particle_events;
  std::vector<SkyParticleTrigger> sky_particle_events;

  // Field by field, lists element by element in order.
  bool operator==(const LandblockEventBake&) const = default;

  // The length of each family's list, in manifest order.
  EventCounts counts() const;

  // One line per event, each ending in "\n": all ambient events, then animation
  // sound, physics particle and sky events, each list in its order. The ids of
  // the bake itself are not written; a bake without events gives "". Equal
  // records give equal bytes.
  std::string to_jsonl_bytes() const;

  // The same lines one at a time, in order, to `line` (each view valid during
  // its call): for writing a manifest straight to its destination without
  // building the whole string first.
  void for_each_jsonl_line(const std::function<void(std::string_view)>& line) const;

  // LandblockEventBake { landblock_id: 2847145984, region_did: 318767104,
  // ambient_terrain_events: [...], anim_hook_events: [...], ... }
  std::string debug_string() const;
};

}  // namespace ravelin::event_bake
