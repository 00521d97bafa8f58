#include "runner/record_compare.h"

#include <algorithm>
#include <cmath>

namespace ravelin::runner {
namespace {

using namespace event_bake;

template <class F>
bool same_float(F a, F b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

bool same(const AmbientSoundRecord& a, const AmbientSoundRecord& b) {
  return a.s_type == b.s_type && same_float(a.volume, b.volume) && same_float(a.base_chance, b.base_chance) &&
         same_float(a.min_rate, b.min_rate) && same_float(a.max_rate, b.max_rate) && a.continuous == b.continuous;
}

template <class T>
bool same_list(const std::vector<T>& a, const std::vector<T>& b);

bool same(const AmbientTrigger& a, const AmbientTrigger& b) {
  return a.terrain_type == b.terrain_type && a.scene_type == b.scene_type && a.scene_info_idx == b.scene_info_idx &&
         a.stb_index == b.stb_index && a.stb_id == b.stb_id && a.vertex_indices == b.vertex_indices &&
         same_list(a.ambient_sounds, b.ambient_sounds);
}

bool same(const AnimSoundTrigger& a, const AnimSoundTrigger& b) {
  return a.csetup_id == b.csetup_id && a.motion_table_id == b.motion_table_id && a.motion_key == b.motion_key &&
         a.motion_kind == b.motion_kind && a.link_outer_key == b.link_outer_key &&
         a.is_default_stance == b.is_default_stance && a.animation_did == b.animation_did &&
         a.hook_frame == b.hook_frame && a.hook_type == b.hook_type && a.sound_id == b.sound_id &&
         same_float(a.priority, b.priority) && same_float(a.probability, b.probability) &&
         same_float(a.volume, b.volume);
}

bool same(const PhysicsScriptParticleTrigger& a, const PhysicsScriptParticleTrigger& b) {
  return a.default_script_id == b.default_script_id && same_float(a.start_time_s, b.start_time_s) &&
         a.emitter_id == b.emitter_id && a.part_index == b.part_index && a.blocking == b.blocking;
}

bool same(const SkyParticleTrigger& a, const SkyParticleTrigger& b) {
  return a.day_group_idx == b.day_group_idx && a.day_group_name == b.day_group_name &&
         same_float(a.day_group_chance, b.day_group_chance) &&
         same_float(a.active_fraction_start, b.active_fraction_start) &&
         same_float(a.active_fraction_end, b.active_fraction_end) && a.sky_object_idx == b.sky_object_idx &&
         a.sky_object_id == b.sky_object_id && a.physics_script_id == b.physics_script_id &&
         a.physics_script_source == b.physics_script_source && a.hook_idx == b.hook_idx &&
         same_float(a.start_time_s, b.start_time_s) && a.emitter_id == b.emitter_id && a.blocking == b.blocking;
}

template <class T>
bool same_list(const std::vector<T>& a, const std::vector<T>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const T& x, const T& y) { return same(x, y); });
}

}  // namespace

bool same_bake(const LandblockEventBake& a, const LandblockEventBake& b) {
  return a.landblock_id == b.landblock_id && a.region_did == b.region_did &&
         same_list(a.ambient_terrain_events, b.ambient_terrain_events) &&
         same_list(a.anim_hook_events, b.anim_hook_events) &&
         same_list(a.physics_particle_events, b.physics_particle_events) &&
         same_list(a.sky_particle_events, b.sky_particle_events);
}

}  // namespace ravelin::runner
