#include "ravelin/event_bake/sky_chain.h"

#include <gtest/gtest.h>

namespace ravelin::event_bake {
namespace {

using dat::file_type::AnimationHook;
using dat::file_type::DayGroup;
using dat::file_type::PhysicsScript;
using dat::file_type::Region;
using dat::file_type::SetupModel;
using dat::file_type::SkyObject;

AnimationHook particle(std::uint32_t type, std::uint32_t emitter) {
  std::vector<std::uint8_t> payload(40, 0);
  for (int i = 0; i < 4; ++i) payload[i] = static_cast<std::uint8_t>(emitter >> (8 * i));
  return {type, 0, payload};
}

// Entries of hook types 26, 2 and 13: the middle one is counted but not emitted.
PhysicsScript mixed_script() {
  PhysicsScript s;
  s.script_data = {{0.5, particle(26, 0x32000001)}, {0.75, {2, 0, std::vector<std::uint8_t>(4, 0)}},
                   {1.25, particle(13, 0x32000003)}};
  return s;
}

SkyObject object(std::uint32_t object_id, std::uint32_t script_id, float start = 0.25f, float end = 0.75f) {
  SkyObject o;
  o.active_start = start;
  o.active_end = end;
  o.object_id = object_id;
  o.script_id = script_id;
  return o;
}

Region sky_region(std::vector<DayGroup> groups) {
  Region r;
  r.sky = dat::file_type::SkyDesc{0, 0, std::move(groups)};
  return r;
}

struct Caches {
  sky_chain::ScriptCache scripts;
  sky_chain::SetupCache setups;
  Caches() {
    scripts.insert_or_assign(0x33000010, mixed_script());
    scripts.insert_or_assign(0x33000099, std::nullopt);  // failed to load
    scripts.insert_or_assign(0x34000010, mixed_script());  // outside the script range
    SetupModel with_script;
    with_script.default_script_id = 0x33000010;
    setups.insert_or_assign(0x02000001, with_script);
    setups.insert_or_assign(0x01000001, with_script);  // not a setup id
    SetupModel wrong_range;
    wrong_range.default_script_id = 0x34000010;
    setups.insert_or_assign(0x02000002, wrong_range);
    setups.insert_or_assign(0x02000003, SetupModel{});  // no default script
    setups.insert_or_assign(0x02000004, std::nullopt);
  }
};

TEST(SkyChain, NoSkyOrNoDayGroupsGivesNothing) {
  const Caches caches;
  EXPECT_TRUE(sky_chain::enumerate_sky_particle_chain(Region{}, caches.scripts, caches.setups).empty());
  EXPECT_TRUE(sky_chain::enumerate_sky_particle_chain(sky_region({}), caches.scripts, caches.setups).empty());
}

TEST(SkyChain, EachSourceAndEveryDeadEndOfTheChain) {
  struct Case {
    const char* name;
    SkyObject object;
    std::size_t records;
    ScriptSource source;
  };
  const Case cases[] = {
      {"own script, no object", object(0, 0x33000010), 2, ScriptSource::SkyObject},
      {"setup's default script", object(0x02000001, 0), 2, ScriptSource::SetupModel},
      {"own script wins over setup", object(0x02000001, 0x33000010), 2, ScriptSource::SkyObject},
      {"own script outside range", object(0x02000001, 0x34000010), 0, ScriptSource::SkyObject},
      {"object not a setup id", object(0x01000001, 0), 0, ScriptSource::SkyObject},
      {"default script outside range", object(0x02000002, 0), 0, ScriptSource::SkyObject},
      {"setup without default script", object(0x02000003, 0), 0, ScriptSource::SkyObject},
      {"setup failed to load", object(0x02000004, 0), 0, ScriptSource::SkyObject},
      {"setup not cached", object(0x02000005, 0), 0, ScriptSource::SkyObject},
      {"script failed to load", object(0, 0x33000099), 0, ScriptSource::SkyObject},
      {"script not cached", object(0, 0x33000011), 0, ScriptSource::SkyObject},
  };
  const Caches caches;
  for (const Case& c : cases) {
    const Region r = sky_region({DayGroup{0.5f, "Clear", {c.object}, {}}});
    const auto records = sky_chain::enumerate_sky_particle_chain(r, caches.scripts, caches.setups);
    ASSERT_EQ(records.size(), c.records) << c.name;
    for (const auto& rec : records) {
      EXPECT_EQ(rec.physics_script_source, c.source) << c.name;
      EXPECT_EQ(rec.physics_script_id, 0x33000010u) << c.name;
      EXPECT_EQ(rec.sky_object_id, c.object.object_id) << c.name;
    }
  }
}

TEST(SkyChain, RecordsCarryGroupObjectAndHookFieldsInWalkOrder) {
  const Caches caches;
  const Region r = sky_region({
      DayGroup{0.5f, "Clear", {object(0x02000001, 0, 0.0f, 0.5f), object(0x01000001, 0)}, {}},
      DayGroup{0.125f, "Storm \"x\"", {object(0x0200FFFF, 0), object(0, 0x33000010, 0.5f, 1.0f)}, {}},
  });
  const auto records = sky_chain::enumerate_sky_particle_chain(r, caches.scripts, caches.setups);
  const std::vector<SkyParticleTrigger> expected = {
      {0, "Clear", 0.5f, 0.0f, 0.5f, 0, 0x02000001, 0x33000010, ScriptSource::SetupModel, 0, 0.5, 0x32000001, true},
      {0, "Clear", 0.5f, 0.0f, 0.5f, 0, 0x02000001, 0x33000010, ScriptSource::SetupModel, 2, 1.25, 0x32000003,
       false},
      {1, "Storm \"x\"", 0.125f, 0.5f, 1.0f, 1, 0, 0x33000010, ScriptSource::SkyObject, 0, 0.5, 0x32000001, true},
      {1, "Storm \"x\"", 0.125f, 0.5f, 1.0f, 1, 0, 0x33000010, ScriptSource::SkyObject, 2, 1.25, 0x32000003,
       false},
  };
  EXPECT_EQ(records, expected);
}

}  // namespace
}  // namespace ravelin::event_bake
