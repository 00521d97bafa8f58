// The fixed order of the bake's sorted event lists (animation sound and
// physics particle) and the removal of repeated records from them.
#pragma once

#include <vector>

#include "ravelin/event_bake/anim_sound.h"
#include "ravelin/event_bake/particle.h"

namespace ravelin::event_bake {

// Stable sort by (csetup_id, motion_key, animation_did, hook_frame, hook_type),
// then every record equal to one kept before it is dropped (floats compared
// numerically, so a record holding a NaN is always kept).
void order_anim_sound_events(std::vector<AnimSoundTrigger>& events);

// Stable sort by (default_script_id, emitter_id, start_time_s by its bit pattern
// as an unsigned 64-bit number, part_index, blocking false first), then the same
// removal of records equal to one kept before them.
void order_particle_events(std::vector<PhysicsScriptParticleTrigger>& events);

}  // namespace ravelin::event_bake
