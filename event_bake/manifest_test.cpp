#include "ravelin/event_bake/manifest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace ravelin::event_bake {
namespace {

AmbientTrigger sample_ambient() {
  AmbientTrigger e;
  e.terrain_type = 3;
  e.scene_type = 5;
  e.scene_info_idx = 2;
  e.stb_index = 1;
  e.stb_id = 0x1234;
  e.vertex_indices = {0, 9, 80};
  e.ambient_sounds = {{1, 0.5f, -0.0f, 1.0f, 2.5f, true}, {7, 0.1f, 0.0078125f, 0.0f, 0.0f, false}};
  return e;
}

AnimSoundTrigger sample_anim_sound() {
  AnimSoundTrigger e;
  e.csetup_id = 0x02000123;
  e.motion_table_id = 0x09000010;
  e.motion_key = 0x41000003;
  e.motion_kind = 2;
  e.is_default_stance = true;
  e.animation_did = 0x03000456;
  e.hook_frame = 4;
  e.hook_type = 1;
  e.sound_id = 167772178;
  e.priority = 1.5f;
  e.probability = 0.25f;
  e.volume = -0.0000001f;
  return e;
}

PhysicsScriptParticleTrigger sample_particle() {
  return {0x33000005, -0.0, 0x32000ABC, 4294967295u, false};
}

SkyParticleTrigger sample_sky() {
  SkyParticleTrigger e;
  e.day_group_idx = 2;
  e.day_group_name = "Dawn";
  e.day_group_chance = 1.0f;
  e.active_fraction_start = 0.25f;
  e.active_fraction_end = 0.0234375f;
  e.sky_object_idx = 0;
  e.sky_object_id = 0x02000001;
  e.physics_script_id = 0x3300ABCD;
  e.physics_script_source = ScriptSource::SetupModel;
  e.hook_idx = 3;
  e.start_time_s = 1e20;
  e.emitter_id = 0x32000001;
  e.blocking = true;
  return e;
}

// Expected lines, filled in by hand from the line templates.
const std::string kAmbientLine =
    std::string(R"({"source":"ambient","trigger":"terrain","terrain_type":3,"scene_type":5,)"
                R"("scene_info_idx":2,"stb_index":1,"stb_id":"0x00001234","vertex_indices":[0,9,80],)"
                R"("ambient_sounds":[{"s_type":1,"volume":0.500000,"base_chance":0.000000,)"
                R"("min_rate":1.000000,"max_rate":2.500000,"continuous":true},)"
                R"({"s_type":7,"volume":0.100000,"base_chance":0.007812,"min_rate":0.000000,)"
                R"("max_rate":0.000000,"continuous":false}]})") +
    "\n";
const std::string kAnimSoundLine =
    std::string(R"({"source":"animation_sound","trigger":"animation_sound","csetup_id":"0x02000123",)"
                R"("motion_table_id":"0x09000010","motion_key":"0x41000003","motion_kind":2,)"
                R"("link_outer_key":null,"is_default_stance":true,"animation_did":"0x03000456",)"
                R"("hook_frame":4,"hook_type":1,"sound_id":167772178,"priority":1.500000,)"
                R"("probability":0.250000,"volume":-0.000000})") +
    "\n";
const std::string kParticleLine =
    std::string(R"({"source":"physics_script_particle","trigger":"physics_script_particle",)"
                R"("default_script_id":"0x33000005","start_time_s":0.000000,"emitter_id":"0x32000ABC",)"
                R"("part_index":4294967295,"blocking":false,"anchor":"entity_origin"})") +
    "\n";
const std::string kSkyLine =
    std::string(R"({"source":"sky_chain","trigger":"time_of_day","day_group_idx":2,)"
                R"("day_group_name":"Dawn","day_group_chance":1.000000,"active_fraction_start":0.250000,)"
                R"("active_fraction_end":0.023438,"sky_object_idx":0,"sky_object_id":"0x02000001",)"
                R"("physics_script_id":"0x3300ABCD","physics_script_source":"setup_model","hook_idx":3,)"
                R"("start_time_s":100000000000000000000.000000,"emitter_id":"0x32000001",)"
                R"("blocking":true,"anchor":"sky_cell_origin"})") +
    "\n";

TEST(LandblockJsonl, EmptyBakeGivesNoBytes) {
  LandblockEventBake bake;
  bake.landblock_id = 0xA9B40000;
  bake.region_did = 0x13000000;
  EXPECT_EQ(bake.to_jsonl_bytes(), "");
}

TEST(LandblockJsonl, EachLineTemplateByteExact) {
  struct Case {
    const char* name;
    LandblockEventBake bake;
    std::string expected;
  };
  Case cases[] = {
      {"ambient", {}, kAmbientLine},
      {"anim_sound", {}, kAnimSoundLine},
      {"particle", {}, kParticleLine},
      {"sky", {}, kSkyLine},
  };
  cases[0].bake.ambient_terrain_events = {sample_ambient()};
  cases[1].bake.anim_hook_events = {sample_anim_sound()};
  cases[2].bake.physics_particle_events = {sample_particle()};
  cases[3].bake.sky_particle_events = {sample_sky()};
  for (const auto& c : cases) EXPECT_EQ(c.bake.to_jsonl_bytes(), c.expected) << c.name;
}

TEST(LandblockJsonl, EmptyListsAndPresentLinkKeyAndSkyObjectSource) {
  LandblockEventBake bake;
  AmbientTrigger ambient;  // no vertices, no sounds
  bake.ambient_terrain_events = {ambient};
  AnimSoundTrigger anim = sample_anim_sound();
  anim.link_outer_key = 3;
  bake.anim_hook_events = {anim};
  SkyParticleTrigger sky = sample_sky();
  sky.physics_script_source = ScriptSource::SkyObject;
  bake.sky_particle_events = {sky};
  const std::string out = bake.to_jsonl_bytes();
  EXPECT_NE(out.find(R"("stb_id":"0x00000000","vertex_indices":[],"ambient_sounds":[]})" "\n"),
            std::string::npos);
  EXPECT_NE(out.find(R"("link_outer_key":3,"is_default_stance")"), std::string::npos);
  EXPECT_EQ(out.find("null"), std::string::npos);
  EXPECT_NE(out.find(R"("physics_script_source":"sky_object")"), std::string::npos);
}

TEST(LandblockJsonl, KindsInFixedOrderEveryLineTerminated) {
  LandblockEventBake bake;
  bake.sky_particle_events = {sample_sky(), sample_sky()};
  bake.physics_particle_events = {sample_particle()};
  bake.anim_hook_events = {sample_anim_sound()};
  bake.ambient_terrain_events = {sample_ambient()};
  EXPECT_EQ(bake.to_jsonl_bytes(), kAmbientLine + kAnimSoundLine + kParticleLine + kSkyLine + kSkyLine);
  // The same bytes a line at a time.
  std::vector<std::string> lines;
  bake.for_each_jsonl_line([&](std::string_view line) { lines.emplace_back(line); });
  EXPECT_EQ(lines, (std::vector<std::string>{kAmbientLine, kAnimSoundLine, kParticleLine, kSkyLine, kSkyLine}));
}

TEST(LandblockJsonl, CountsAndLineHeadsFollowTheFamilyTable) {
  LandblockEventBake bake;
  bake.ambient_terrain_events = {sample_ambient(), sample_ambient(), sample_ambient()};
  bake.physics_particle_events = {sample_particle()};
  bake.sky_particle_events = {sample_sky(), sample_sky()};
  EXPECT_EQ(bake.counts(), (EventCounts{3, 0, 1, 2}));
  // The lines in family order, each family's as many as it counts and each
  // opening with that family's "source" and "trigger".
  std::vector<std::string> lines;
  bake.for_each_jsonl_line([&](std::string_view line) { lines.emplace_back(line); });
  std::size_t at = 0;
  for (std::size_t family = 0; family < kEventFamilyCount; ++family) {
    const EventFamilyInfo& info = kEventFamilies[family];
    const std::string head = R"({"source":")" + std::string(info.source) + R"(","trigger":")" +
                             std::string(info.trigger) + R"(",)";
    for (std::size_t i = 0; i < bake.counts()[family]; ++i, ++at) {
      ASSERT_LT(at, lines.size());
      EXPECT_TRUE(lines[at].starts_with(head)) << info.display << ": " << lines[at];
    }
  }
  EXPECT_EQ(at, lines.size());
}

TEST(LandblockJsonl, DayGroupNameEscaping) {
  struct Case {
    std::string name;
    std::string escaped;
  };
  const Case cases[] = {
      {"a\\\"b", R"(a\\\"b)"},             // backslash then quote
      {"x\ny", R"(x\u000ay)"},             // a line feed must not split the line
      {"t\tr\r", R"(t\u0009r\u000d)"},
      {std::string("n\0m", 3), R"(n\u0000m)"},
      {"\x1f|\x7f", "\\u001f|\x7f"},       // DEL is not a control escape here
      {"Aube \xC3\xA9t\xC3\xA9 \xE2\x98\x80", "Aube \xC3\xA9t\xC3\xA9 \xE2\x98\x80"},
  };
  for (const auto& c : cases) {
    LandblockEventBake bake;
    SkyParticleTrigger sky = sample_sky();
    sky.day_group_name = c.name;
    bake.sky_particle_events = {sky};
    const std::string out = bake.to_jsonl_bytes();
    EXPECT_NE(out.find("\"day_group_name\":\"" + c.escaped + "\",\"day_group_chance\""),
              std::string::npos)
        << c.escaped;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << c.escaped;
  }
}

TEST(LandblockRecords, EqualityComparesFloatsNumerically) {
  AmbientSoundRecord a{1, 0.0f, 0.5f, 1.0f, 2.0f, true};
  AmbientSoundRecord b = a;
  b.volume = -0.0f;
  EXPECT_EQ(a, b);
  b.continuous = false;
  EXPECT_NE(a, b);

  PhysicsScriptParticleTrigger p = sample_particle();
  p.start_time_s = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(p, p);

  AnimSoundTrigger none = sample_anim_sound();
  AnimSoundTrigger zero = none;
  zero.link_outer_key = 0;
  EXPECT_NE(none, zero);
  AnimSoundTrigger other_zero = zero;
  EXPECT_EQ(zero, other_zero);

  SkyParticleTrigger s1 = sample_sky();
  SkyParticleTrigger s2 = s1;
  s2.physics_script_source = ScriptSource::SkyObject;
  EXPECT_NE(s1, s2);
  s2 = s1;
  s2.day_group_name += '\0';
  EXPECT_NE(s1, s2);
}

TEST(LandblockRecords, EqualBakesGiveEqualBytes) {
  LandblockEventBake a;
  a.ambient_terrain_events = {sample_ambient()};
  a.physics_particle_events = {sample_particle(), sample_particle()};
  LandblockEventBake b = a;
  b.physics_particle_events[0].start_time_s = 0.0;  // the sample holds -0.0
  b.ambient_terrain_events[0].ambient_sounds[0].base_chance = 0.0f;
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.to_jsonl_bytes(), b.to_jsonl_bytes());
  EXPECT_EQ(a.to_jsonl_bytes(), a.to_jsonl_bytes());

  std::swap(b.ambient_terrain_events[0].vertex_indices[0], b.ambient_terrain_events[0].vertex_indices[1]);
  EXPECT_NE(a, b);
  b = a;
  b.region_did = 1;
  EXPECT_NE(a, b);
}

TEST(LandblockRecords, DebugStrings) {
  EXPECT_EQ((AmbientSoundRecord{1, 0.5f, 0.0f, 1.0f, 2.0f, true}).debug_string(),
            "AmbientSoundRecord { s_type: 1, volume: 0.5, base_chance: 0.0, min_rate: 1.0, "
            "max_rate: 2.0, continuous: true }");

  AmbientTrigger ambient;
  ambient.stb_id = 0x1234;
  ambient.vertex_indices = {0, 9};
  ambient.ambient_sounds = {{2, -0.0f, 1e-7f, 0.1f, 100.0f, false}};
  EXPECT_EQ(ambient.debug_string(),
            "AmbientTrigger { terrain_type: 0, scene_type: 0, scene_info_idx: 0, stb_index: 0, "
            "stb_id: 4660, vertex_indices: [0, 9], ambient_sounds: [AmbientSoundRecord { s_type: 2, "
            "volume: -0.0, base_chance: 1e-7, min_rate: 0.1, max_rate: 100.0, continuous: false }] }");

  AnimSoundTrigger anim = sample_anim_sound();
  anim.volume = std::numeric_limits<float>::infinity();
  EXPECT_EQ(anim.debug_string(),
            "AnimSoundTrigger { csetup_id: 33554723, motion_table_id: 150994960, motion_key: 1090519043, "
            "motion_kind: 2, link_outer_key: None, is_default_stance: true, animation_did: 50332758, "
            "hook_frame: 4, hook_type: 1, sound_id: 167772178, priority: 1.5, probability: 0.25, "
            "volume: inf }");
  anim.link_outer_key = 3;
  EXPECT_NE(anim.debug_string().find("link_outer_key: Some(3), "), std::string::npos);

  EXPECT_EQ(sample_particle().debug_string(),
            "PhysicsScriptParticleTrigger { default_script_id: 855638021, start_time_s: -0.0, "
            "emitter_id: 838863548, part_index: 4294967295, blocking: false }");

  SkyParticleTrigger sky = sample_sky();
  sky.day_group_name = "a\"b\n";
  sky.start_time_s = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(sky.debug_string(),
            "SkyParticleTrigger { day_group_idx: 2, day_group_name: \"a\\\"b\\n\", day_group_chance: 1.0, "
            "active_fraction_start: 0.25, active_fraction_end: 0.0234375, sky_object_idx: 0, "
            "sky_object_id: 33554433, physics_script_id: 855681997, physics_script_source: SetupModel, "
            "hook_idx: 3, start_time_s: NaN, emitter_id: 838860801, blocking: true }");

  LandblockEventBake bake;
  bake.landblock_id = 0xA9B40000;
  bake.region_did = 0x13000000;
  EXPECT_EQ(bake.debug_string(),
            "LandblockEventBake { landblock_id: 2847145984, region_did: 318767104, "
            "ambient_terrain_events: [], anim_hook_events: [], physics_particle_events: [], "
            "sky_particle_events: [] }");
  bake.physics_particle_events = {sample_particle(), sample_particle()};
  const std::string one = sample_particle().debug_string();
  EXPECT_NE(bake.debug_string().find("physics_particle_events: [" + one + ", " + one + "], "),
            std::string::npos);
}

}  // namespace
}  // namespace ravelin::event_bake
