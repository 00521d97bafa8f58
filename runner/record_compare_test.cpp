#include "runner/record_compare.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace ravelin::runner {
namespace {

using event_bake::LandblockEventBake;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kNaN64 = std::numeric_limits<double>::quiet_NaN();

LandblockEventBake one_of_each() {
  LandblockEventBake b;
  b.landblock_id = 0xA9B40000;
  b.region_did = 0x13000000;
  b.ambient_terrain_events.resize(1);
  b.ambient_terrain_events[0].vertex_indices = {1, 2};
  b.ambient_terrain_events[0].ambient_sounds.resize(1);
  b.anim_hook_events.resize(1);
  b.physics_particle_events.resize(1);
  b.sky_particle_events.resize(1);
  return b;
}

using Edit = std::function<void(LandblockEventBake&)>;

// Changing any single field makes the bakes differ: a field left out of the
// comparison would show here.
TEST(SameBake, EveryFieldTakesPart) {
  const std::vector<std::pair<const char*, Edit>> edits = {
      {"landblock_id", [](auto& b) { b.landblock_id = 1; }},
      {"region_did", [](auto& b) { b.region_did = 1; }},
      {"ambient count", [](auto& b) { b.ambient_terrain_events.emplace_back(); }},
      {"terrain_type", [](auto& b) { b.ambient_terrain_events[0].terrain_type = 1; }},
      {"scene_type", [](auto& b) { b.ambient_terrain_events[0].scene_type = 1; }},
      {"scene_info_idx", [](auto& b) { b.ambient_terrain_events[0].scene_info_idx = 1; }},
      {"stb_index", [](auto& b) { b.ambient_terrain_events[0].stb_index = 1; }},
      {"stb_id", [](auto& b) { b.ambient_terrain_events[0].stb_id = 1; }},
      {"vertex_indices", [](auto& b) { b.ambient_terrain_events[0].vertex_indices.push_back(3); }},
      {"sound count", [](auto& b) { b.ambient_terrain_events[0].ambient_sounds.emplace_back(); }},
      {"s_type", [](auto& b) { b.ambient_terrain_events[0].ambient_sounds[0].s_type = 1; }},
      {"volume", [](auto& b) { b.ambient_terrain_events[0].ambient_sounds[0].volume = 1; }},
      {"base_chance", [](auto& b) { b.ambient_terrain_events[0].ambient_sounds[0].base_chance = 1; }},
      {"min_rate", [](auto& b) { b.ambient_terrain_events[0].ambient_sounds[0].min_rate = 1; }},
      {"max_rate", [](auto& b) { b.ambient_terrain_events[0].ambient_sounds[0].max_rate = 1; }},
      {"continuous", [](auto& b) { b.ambient_terrain_events[0].ambient_sounds[0].continuous = true; }},
      {"anim count", [](auto& b) { b.anim_hook_events.emplace_back(); }},
      {"csetup_id", [](auto& b) { b.anim_hook_events[0].csetup_id = 1; }},
      {"motion_table_id", [](auto& b) { b.anim_hook_events[0].motion_table_id = 1; }},
      {"motion_key", [](auto& b) { b.anim_hook_events[0].motion_key = 1; }},
      {"motion_kind", [](auto& b) { b.anim_hook_events[0].motion_kind = 1; }},
      {"link_outer_key", [](auto& b) { b.anim_hook_events[0].link_outer_key = 0; }},
      {"is_default_stance", [](auto& b) { b.anim_hook_events[0].is_default_stance = true; }},
      {"animation_did", [](auto& b) { b.anim_hook_events[0].animation_did = 1; }},
      {"hook_frame", [](auto& b) { b.anim_hook_events[0].hook_frame = 1; }},
      {"hook_type", [](auto& b) { b.anim_hook_events[0].hook_type = 1; }},
      {"sound_id", [](auto& b) { b.anim_hook_events[0].sound_id = 1; }},
      {"priority", [](auto& b) { b.anim_hook_events[0].priority = 1; }},
      {"probability", [](auto& b) { b.anim_hook_events[0].probability = 1; }},
      {"anim volume", [](auto& b) { b.anim_hook_events[0].volume = 1; }},
      {"physics count", [](auto& b) { b.physics_particle_events.emplace_back(); }},
      {"default_script_id", [](auto& b) { b.physics_particle_events[0].default_script_id = 1; }},
      {"physics start_time_s", [](auto& b) { b.physics_particle_events[0].start_time_s = 1; }},
      {"physics emitter_id", [](auto& b) { b.physics_particle_events[0].emitter_id = 1; }},
      {"part_index", [](auto& b) { b.physics_particle_events[0].part_index = 1; }},
      {"physics blocking", [](auto& b) { b.physics_particle_events[0].blocking = true; }},
      {"sky count", [](auto& b) { b.sky_particle_events.emplace_back(); }},
      {"day_group_idx", [](auto& b) { b.sky_particle_events[0].day_group_idx = 1; }},
      {"day_group_name", [](auto& b) { b.sky_particle_events[0].day_group_name = "x"; }},
      {"day_group_chance", [](auto& b) { b.sky_particle_events[0].day_group_chance = 1; }},
      {"active_fraction_start", [](auto& b) { b.sky_particle_events[0].active_fraction_start = 1; }},
      {"active_fraction_end", [](auto& b) { b.sky_particle_events[0].active_fraction_end = 1; }},
      {"sky_object_idx", [](auto& b) { b.sky_particle_events[0].sky_object_idx = 1; }},
      {"sky_object_id", [](auto& b) { b.sky_particle_events[0].sky_object_id = 1; }},
      {"physics_script_id", [](auto& b) { b.sky_particle_events[0].physics_script_id = 1; }},
      {"physics_script_source",
       [](auto& b) { b.sky_particle_events[0].physics_script_source = event_bake::ScriptSource::SetupModel; }},
      {"hook_idx", [](auto& b) { b.sky_particle_events[0].hook_idx = 1; }},
      {"sky start_time_s", [](auto& b) { b.sky_particle_events[0].start_time_s = 1; }},
      {"sky emitter_id", [](auto& b) { b.sky_particle_events[0].emitter_id = 1; }},
      {"sky blocking", [](auto& b) { b.sky_particle_events[0].blocking = true; }},
  };
  const LandblockEventBake base = one_of_each();
  ASSERT_TRUE(same_bake(base, base));
  for (const auto& [name, edit] : edits) {
    LandblockEventBake changed = base;
    edit(changed);
    EXPECT_FALSE(same_bake(changed, base)) << name;
    EXPECT_FALSE(same_bake(base, changed)) << name;
    EXPECT_EQ(changed == base, same_bake(changed, base)) << name << ": agrees with == without NaN";
  }
}

// Floats: numerically equal or both NaN, in every float field.
TEST(SameBake, FloatsMatchWhenEqualOrBothNaN) {
  const std::vector<std::pair<const char*, std::function<float&(LandblockEventBake&)>>> floats = {
      {"volume", [](auto& b) -> float& { return b.ambient_terrain_events[0].ambient_sounds[0].volume; }},
      {"base_chance", [](auto& b) -> float& { return b.ambient_terrain_events[0].ambient_sounds[0].base_chance; }},
      {"min_rate", [](auto& b) -> float& { return b.ambient_terrain_events[0].ambient_sounds[0].min_rate; }},
      {"max_rate", [](auto& b) -> float& { return b.ambient_terrain_events[0].ambient_sounds[0].max_rate; }},
      {"priority", [](auto& b) -> float& { return b.anim_hook_events[0].priority; }},
      {"probability", [](auto& b) -> float& { return b.anim_hook_events[0].probability; }},
      {"anim volume", [](auto& b) -> float& { return b.anim_hook_events[0].volume; }},
      {"chance", [](auto& b) -> float& { return b.sky_particle_events[0].day_group_chance; }},
      {"start", [](auto& b) -> float& { return b.sky_particle_events[0].active_fraction_start; }},
      {"end", [](auto& b) -> float& { return b.sky_particle_events[0].active_fraction_end; }},
  };
  const std::vector<std::pair<const char*, std::function<double&(LandblockEventBake&)>>> doubles = {
      {"physics time", [](auto& b) -> double& { return b.physics_particle_events[0].start_time_s; }},
      {"sky time", [](auto& b) -> double& { return b.sky_particle_events[0].start_time_s; }},
  };
  struct Pair {
    double a, b;
    bool same;
  };
  const std::vector<Pair> pairs = {
      {kNaN64, kNaN64, true}, {0.0, -0.0, true}, {1.5, 1.5, true}, {kNaN64, 0.0, false}, {0.0, kNaN64, false},
      {1.0, 2.0, false},
  };
  for (const Pair& p : pairs) {
    for (const auto& [name, field] : floats) {
      LandblockEventBake x = one_of_each(), y = one_of_each();
      field(x) = static_cast<float>(p.a);
      field(y) = static_cast<float>(p.b);
      EXPECT_EQ(same_bake(x, y), p.same) << name << " " << p.a << " " << p.b;
    }
    for (const auto& [name, field] : doubles) {
      LandblockEventBake x = one_of_each(), y = one_of_each();
      field(x) = p.a;
      field(y) = p.b;
      EXPECT_EQ(same_bake(x, y), p.same) << name << " " << p.a << " " << p.b;
    }
  }
  // Different NaN payloads are still both NaN.
  LandblockEventBake x = one_of_each(), y = one_of_each();
  x.anim_hook_events[0].volume = kNaN;
  y.anim_hook_events[0].volume = -std::numeric_limits<float>::signaling_NaN();
  EXPECT_TRUE(same_bake(x, y));
}

}  // namespace
}  // namespace ravelin::runner
