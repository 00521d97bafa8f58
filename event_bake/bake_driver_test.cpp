#include <gtest/gtest.h>

#include <cstring>

#include "ravelin/common/file.h"
#include "ravelin/event_bake/landblock.h"
#include "test_support/test_world.h"

namespace ravelin::event_bake {
namespace {

using test_support::BakeWorld;
using test_support::kBakeLandblock;
using dat_writer::terrain_word;

// One resolving ambient group (terrain 0, scene 0) and one sky object running
// script 0x33000100 (one particle hook).
dat_writer::RegionDef small_region() {
  dat_writer::RegionDef r;
  r.terrain.terrain_types = {{"Grass", 0, {0}}};
  r.scene = dat_writer::SceneDescDef{{{0, {}}}};
  r.sound = dat_writer::SoundDescDef{{{0x20000001, {{1, 1.0f, 0.5f, 1.0f, 2.0f}}, {}}}};
  dat_writer::DayGroupDef day{1.0f, "Day", {}, {}};
  day.sky_objects = {{0.0f, 1.0f, {}, 0, 0x33000100, 0}};
  r.sky = dat_writer::SkyDescDef{0.0, 0.0, {day}};
  return r;
}

// A world whose region, terrain and sky script are present and valid.
void add_basics(BakeWorld& w) {
  w.add_region(small_region());
  w.add_uniform_terrain(terrain_word(0, 0));
  w.add_script(dat_writer::physics_script_of(0x33000100, {{0.5, dat_writer::particle_hook(0x32000100, 0)}}));
}

// A setup whose default script has one particle hook with the given emitter.
void add_scripted_setup(BakeWorld& w, std::uint32_t setup_id, std::uint32_t script_id, std::uint32_t emitter) {
  w.add_setup(setup_id, script_id);
  w.add_script(dat_writer::physics_script_of(script_id, {{0.0, dat_writer::particle_hook(emitter, 0)}}));
}

std::vector<std::uint32_t> particle_emitters(const LandblockEventBake& bake) {
  std::vector<std::uint32_t> out;
  for (const auto& e : bake.physics_particle_events) out.push_back(e.emitter_id);
  return out;
}

std::string error_text(const BakeResult<LandblockEventBake>& r) {
  return r ? std::string("(no error)") : r.error().to_string();
}

TEST(BakeDriverErrors, ArchivesOpenPortalFirst) {
  for (const bool portal_present : {false, true}) {
    BakeWorld w;
    add_basics(w);
    w.write_portal = portal_present;
    w.write_cell = false;
    const auto dir = w.write();
    const auto result = bake_landblock_events(w.inputs());
    ASSERT_FALSE(result.has_value());
    const auto* open = result.error().get_if<BakeError::DatOpen>();
    ASSERT_NE(open, nullptr);
    const std::string which = portal_present ? "client_cell_1.dat" : "client_portal.dat";
    EXPECT_EQ(open->which, which);
    EXPECT_EQ(open->path, dir / which);
    EXPECT_EQ(open->source.kind(), dat::DatError::Kind::PathError);
    const std::string path = common::display_path(dir / which);
    EXPECT_EQ(result.error().to_string(), "open " + which + " at " + path + ": Failed to open file at " + path +
                                              ": " + std::strerror(ENOENT));
  }
}

TEST(BakeDriverErrors, RequiredRecordsInTheirOrder) {
  struct Case {
    const char* name;
    void (*build)(BakeWorld&);
    std::string expected;
  };
  const Case cases[] = {
      {"region missing (terrain missing too)",
       [](BakeWorld& w) { w.add_portal(0x13000001, dat_writer::encode_region(small_region())); },
       "Region 0x13000000 missing from DAT"},
      {"region undecodable", [](BakeWorld& w) { w.add_portal(0x13000000, {1, 2, 3}); },
       "parse Region 0x13000000: failed to fill whole buffer"},
      {"terrain missing",
       [](BakeWorld& w) {
         w.add_region(small_region());
         w.add_uniform_terrain(0, 0xA9B50000);
       },
       "CellLandblock 0xA9B4FFFF missing from DAT"},
  };
  for (const Case& c : cases) {
    BakeWorld w;
    c.build(w);
    w.write();
    EXPECT_EQ(error_text(bake_landblock_events(w.inputs())), c.expected) << c.name;
  }
}

TEST(BakeDriverErrors, UndecodableLandblockRecordsNameTheirIds) {
  for (const bool terrain_broken : {true, false}) {
    BakeWorld w;
    w.add_region(small_region());
    if (terrain_broken) {
      w.add_cell(0xA9B4FFFF, std::vector<std::uint8_t>(10, 0));
      w.add_cell(0xA9B4FFFE, {1});  // never reached
    } else {
      w.add_uniform_terrain(0);
      w.add_cell(0xA9B4FFFE, {1, 2});
    }
    w.write();
    const auto result = bake_landblock_events(w.inputs());
    ASSERT_FALSE(result.has_value());
    const auto* parse = result.error().get_if<BakeError::Parse>();
    ASSERT_NE(parse, nullptr);
    // The source is the decoder's own display text of the same bytes.
    const std::string source =
        terrain_broken ? dat::CellLandblock::unpack(std::vector<std::uint8_t>(10, 0)).error().to_string()
                       : dat::LandblockInfo::unpack(std::vector<std::uint8_t>{1, 2}).error().to_string();
    EXPECT_TRUE(source.starts_with("Binary read error: ")) << source;
    EXPECT_EQ(parse->source, source);
    EXPECT_EQ(result.error().to_string(), (terrain_broken ? "parse CellLandblock 0xA9B4FFFF: "
                                                          : "parse LandblockInfo 0xA9B4FFFE: ") + source);
  }
}

TEST(BakeDriverErrors, SetupTableFailures) {
  struct Case {
    const char* name;
    const char* contents;  // nullptr: no file
    std::string message_prefix;
  };
  const Case cases[] = {
      {"missing", nullptr, std::string("read: ") + std::strerror(ENOENT)},
      {"not json", "{\"7\": ", "parse json: "},
      {"array", "[1, 2]", "top-level is not an object"},
      {"number", "7", "top-level is not an object"},
  };
  for (const Case& c : cases) {
    BakeWorld w;
    add_basics(w);
    const auto table = w.dir() / "wcid_to_setup.json";
    if (c.contents != nullptr) w.write_text("wcid_to_setup.json", c.contents);
    w.write();
    BakeInputs in = w.inputs();
    in.entity_source = EntitySource::from_spawns_manifest(w.dir(), table);
    const auto result = bake_landblock_events(in);
    ASSERT_FALSE(result.has_value()) << c.name;
    const auto* error = result.error().get_if<BakeError::SetupTable>();
    ASSERT_NE(error, nullptr) << c.name;
    EXPECT_EQ(error->path, table);
    EXPECT_TRUE(error->message.starts_with(c.message_prefix)) << c.name << ": " << error->message;
    EXPECT_EQ(result.error().to_string(), "setup-table " + common::display_path(table) + ": " + error->message);
  }
}

TEST(BakeDriver, SimpleEntryBakesWithoutLandblockInfo) {
  BakeWorld w;
  add_basics(w);
  const auto dir = w.write();
  const auto result = bake_landblock_events_simple(0xA9B40000, dir);
  ASSERT_TRUE(result.has_value()) << error_text(result);
  EXPECT_EQ(result->landblock_id, 0xA9B40000u);
  EXPECT_EQ(result->region_did, 0x13000000u);
  ASSERT_EQ(result->ambient_terrain_events.size(), 1u);
  EXPECT_EQ(result->ambient_terrain_events[0].vertex_indices.size(), 81u);
  EXPECT_TRUE(result->anim_hook_events.empty());
  EXPECT_TRUE(result->physics_particle_events.empty());
  ASSERT_EQ(result->sky_particle_events.size(), 1u);
  EXPECT_EQ(result->sky_particle_events[0].emitter_id, 0x32000100u);
}

TEST(BakeDriver, LowHalfOfTheLandblockIdIsCopiedButIgnored) {
  BakeWorld w;
  add_basics(w);
  add_scripted_setup(w, 0x02000001, 0x33000001, 0x32000001);
  w.add_placements({0x02000001});
  w.write();
  const auto result = bake_landblock_events(w.inputs(0xA9B41234));
  ASSERT_TRUE(result.has_value()) << error_text(result);
  EXPECT_EQ(result->landblock_id, 0xA9B41234u);
  EXPECT_EQ(particle_emitters(*result), (std::vector<std::uint32_t>{0x32000001}));
}

TEST(BakeDriver, PlacedObjectsFilteredByRangeAndPresenceAndDeduplicated) {
  BakeWorld w;
  add_basics(w);
  add_scripted_setup(w, 0x02000002, 0x33000002, 0x32000002);
  add_scripted_setup(w, 0x02FFFFFF, 0x33000003, 0x32000003);
  add_scripted_setup(w, 0x01FFFFFF, 0x33000004, 0x32000004);  // below the setup range
  add_scripted_setup(w, 0x03000000, 0x33000005, 0x32000005);  // above it
  w.add_placements({0x02FFFFFF, 0x02000002, 0x01FFFFFF, 0x02000002, 0x03000000, 0x02000077, 0x02FFFFFF});
  w.write();
  const auto result = bake_landblock_events(w.inputs());
  ASSERT_TRUE(result.has_value()) << error_text(result);
  EXPECT_EQ(particle_emitters(*result), (std::vector<std::uint32_t>{0x32000002, 0x32000003}));
}

TEST(BakeDriver, BrokenObjectFilesOnlyShrinkTheResult) {
  BakeWorld w;
  add_basics(w);
  w.add_portal(0x02000001, {0xFF, 0xFF});                     // setup undecodable
  w.add_setup(0x02000002, 0x33000002, 0x09000002);            // broken motion table, broken script
  w.add_portal(0x09000002, {1, 2, 3});
  w.add_portal(0x33000002, {1, 2, 3});
  w.add_setup(0x02000003, 0x33000099, 0x09000003);            // script absent; one animation broken
  dat_writer::MotionTableDef table;
  table.id = 0x09000003;
  table.motion_data_0 = {{0x10, dat_writer::motion_data_playing({0x03000001, 0x03000002, 0x03000003})}};
  w.add_motion_table(table);
  w.add_animation(dat_writer::animation_with_hooks(0x03000001, 1, {{dat_writer::sound_hook(11)}}));
  w.add_portal(0x03000002, {9});
  add_scripted_setup(w, 0x02000004, 0x33000004, 0x32000004);  // intact
  w.add_placements({0x02000001, 0x02000002, 0x02000003, 0x02000004});
  w.write();
  const auto result = bake_landblock_events(w.inputs());
  ASSERT_TRUE(result.has_value()) << error_text(result);
  ASSERT_EQ(result->anim_hook_events.size(), 1u);
  EXPECT_EQ(result->anim_hook_events[0].csetup_id, 0x02000003u);
  EXPECT_EQ(result->anim_hook_events[0].sound_id, 11u);
  EXPECT_EQ(particle_emitters(*result), (std::vector<std::uint32_t>{0x32000004}));
  EXPECT_EQ(result->ambient_terrain_events.size(), 1u);
  EXPECT_EQ(result->sky_particle_events.size(), 1u);
}

TEST(BakeDriver, SpawnsManifestReplacesLandblockInfo) {
  BakeWorld w;
  add_basics(w);
  w.add_cell(0xA9B4FFFE, {1, 2});  // would fail the bake if it were read
  add_scripted_setup(w, 0x02000001, 0x33000001, 0x32000001);
  add_scripted_setup(w, 0x02000002, 0x33000002, 0x32000002);
  add_scripted_setup(w, 0x05000001, 0x33000005, 0x32000005);  // outside the setup range, used anyway
  add_scripted_setup(w, 0x02000009, 0x33000009, 0x32000009);
  const auto table = w.write_text("wcid_to_setup.json",
                                  R"({"7": 33554433, "+7": 33554434, "8": 83886081, "-9": 33554441,)"
                                  R"( " 9": 33554441, "10": -1, "11": 1.5, "12": "x", "13": 33554441})");
  w.write_text("0xA9B4.spawns.jsonl",
               "{\"wcid\": 7}\r\n\n   \n{\"wcid\": 7.0}\nnot json\n{\"wcid\": 13e0}\n[7]\n"
               "{\"name\": 13}\n{\"wcid\": 99}\n  {\"wcid\": 8}  \n{\"wcid\": 4294967309}");
  w.write();
  BakeInputs in = w.inputs();
  in.entity_source = EntitySource::from_spawns_manifest(w.dir(), table);
  const auto result = bake_landblock_events(in);
  ASSERT_TRUE(result.has_value()) << error_text(result);
  // wcid 7 -> 0x02000002 (the later key wins), 8 -> 0x05000001, and
  // 4294967309 -> low 32 bits 13 -> 0x02000009; listed by script id.
  EXPECT_EQ(particle_emitters(*result), (std::vector<std::uint32_t>{0x32000002, 0x32000005, 0x32000009}));
}

TEST(BakeDriver, MissingSpawnsFileOrEmptyTableGivesNoObjectEvents) {
  for (const char* table_text : {R"({"7": 33554433})", "{}"}) {
    BakeWorld w;
    add_basics(w);
    add_scripted_setup(w, 0x02000001, 0x33000001, 0x32000001);
    w.add_placements({0x02000001});
    const auto table = w.write_text("wcid_to_setup.json", table_text);
    if (std::string_view(table_text) == "{}") w.write_text("0xA9B4.spawns.jsonl", "{\"wcid\": 7}\n");
    w.write();
    BakeInputs in = w.inputs();
    in.entity_source = EntitySource::from_spawns_manifest(w.dir(), table);
    const auto result = bake_landblock_events(in);
    ASSERT_TRUE(result.has_value()) << error_text(result);
    EXPECT_TRUE(result->physics_particle_events.empty()) << table_text;
    EXPECT_EQ(result->ambient_terrain_events.size(), 1u);
  }
}

TEST(BakeDriver, SkyOffGivesNoSkyEvents) {
  BakeWorld w;
  add_basics(w);
  w.write();
  BakeInputs in = w.inputs();
  in.bake_sky = false;
  const auto result = bake_landblock_events(in);
  ASSERT_TRUE(result.has_value()) << error_text(result);
  EXPECT_TRUE(result->sky_particle_events.empty());
  EXPECT_EQ(result->ambient_terrain_events.size(), 1u);
}

TEST(BakeDriver, SharedFilesAcrossSetups) {
  // Two setups share one default script (its events appear once) and one
  // animation through different motion tables (each setup keeps its records).
  BakeWorld w;
  add_basics(w);
  w.add_script(dat_writer::physics_script_of(0x33000001, {{0.0, dat_writer::particle_hook(0x32000001, 0)},
                                                       {-0.0, dat_writer::particle_hook(0x32000001, 0)},
                                                       {0.5, dat_writer::particle_hook(0x32000001, 0)}}));
  for (const std::uint32_t n : {1u, 2u}) {
    w.add_setup(0x02000000 + n, 0x33000001, 0x09000000 + n);
    dat_writer::MotionTableDef table;
    table.id = 0x09000000 + n;
    table.motion_data_0 = {{0x20, dat_writer::motion_data_playing({0x03000001})}};
    w.add_motion_table(table);
  }
  w.add_animation(dat_writer::animation_with_hooks(0x03000001, 1, {{dat_writer::sound_hook(5)}}));
  w.add_placements({0x02000002, 0x02000001});
  w.write();
  const auto result = bake_landblock_events(w.inputs());
  ASSERT_TRUE(result.has_value()) << error_text(result);
  ASSERT_EQ(result->anim_hook_events.size(), 2u);
  EXPECT_EQ(result->anim_hook_events[0].csetup_id, 0x02000001u);
  EXPECT_EQ(result->anim_hook_events[1].csetup_id, 0x02000002u);
  ASSERT_EQ(result->physics_particle_events.size(), 2u);  // 0.0 (with its -0.0 twin) and 0.5
  EXPECT_EQ(result->physics_particle_events[0].start_time_s, 0.0);
  EXPECT_EQ(result->physics_particle_events[1].start_time_s, 0.5);
}

TEST(BakeDriver, SameBakeTwiceGivesIdenticalBytes) {
  BakeWorld w;
  add_basics(w);
  add_scripted_setup(w, 0x02000001, 0x33000001, 0x32000001);
  w.add_placements({0x02000001});
  w.write();
  const auto first = bake_landblock_events(w.inputs());
  const auto second = bake_landblock_events(w.inputs());
  ASSERT_TRUE(first.has_value() && second.has_value());
  EXPECT_EQ(*first, *second);
  EXPECT_EQ(first->to_jsonl_bytes(), second->to_jsonl_bytes());
  EXPECT_FALSE(first->to_jsonl_bytes().empty());
}

}  // namespace
}  // namespace ravelin::event_bake
