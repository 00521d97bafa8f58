// The inputs a bake records, against lists worked out by hand from the bake's
// steps, for the one-off bake and for a session (whose caches serve records a
// bake before it loaded).
#include "ravelin/event_bake/input_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ravelin/event_bake/landblock.h"
#include "ravelin/event_bake/session.h"
#include "test_support/test_world.h"

namespace ravelin::event_bake {
namespace {

using test_support::BakeWorld;
using Names = std::vector<std::string>;

// Region 0x13000000 with one sky object running script 0x33000100, and a
// second one showing setup 0x02000100, whose default script 0x33000101 runs.
dat_writer::RegionDef sky_region() {
  dat_writer::RegionDef r;
  r.terrain.terrain_types = {{"Grass", 0, {0}}};
  r.scene = dat_writer::SceneDescDef{{{0, {}}}};
  r.sound = dat_writer::SoundDescDef{{{0x20000001, {{1, 1.0f, 0.5f, 1.0f, 2.0f}}, {}}}};
  dat_writer::DayGroupDef day{1.0f, "Day", {}, {}};
  day.sky_objects = {{0.0f, 1.0f, {}, 0, 0x33000100, 0}, {0.0f, 1.0f, {}, 0x02000100, 0, 0}};
  r.sky = dat_writer::SkyDescDef{0.0, 0.0, {day}};
  return r;
}

void add_basics(BakeWorld& w) {
  w.add_region(sky_region());
  w.add_uniform_terrain(dat_writer::terrain_word(0, 0));
  w.add_script(dat_writer::physics_script_of(0x33000100, {{0.5, dat_writer::particle_hook(0x32000100, 0)}}));
  w.add_setup(0x02000100, 0x33000101);
}

// Placed: an undecodable setup, one with a broken motion table and script, one
// whose script is absent and whose table names three animations (one broken,
// one absent), an intact one sharing that table, an absent setup-range id and
// one below the range.
void add_placed_objects(BakeWorld& w) {
  w.add_portal(0x02000001, {0xFF, 0xFF});
  w.add_setup(0x02000002, 0x33000002, 0x09000002);
  w.add_portal(0x09000002, {1, 2, 3});
  w.add_portal(0x33000002, {1, 2, 3});
  w.add_setup(0x02000003, 0x33000099, 0x09000003);
  dat_writer::MotionTableDef table;
  table.id = 0x09000003;
  table.motion_data_0 = {{0x10, dat_writer::motion_data_playing({0x03000001, 0x03000002, 0x03000003})}};
  w.add_motion_table(table);
  w.add_animation(dat_writer::animation_with_hooks(0x03000001, 1, {{dat_writer::sound_hook(11)}}));
  w.add_portal(0x03000002, {9});
  w.add_setup(0x02000004, 0x33000004, 0x09000003);
  w.add_script(dat_writer::physics_script_of(0x33000004, {{0.0, dat_writer::particle_hook(0x32000004, 0)}}));
  w.add_placements({0x02000004, 0x02000001, 0x02000002, 0x02000003, 0x02000077, 0x01FFFFFF, 0x02000004});
}

const Names kPlacedPortal = {"portal:0x02000001", "portal:0x02000002", "portal:0x02000003", "portal:0x02000004",
                             "portal:0x02000077", "portal:0x03000001", "portal:0x03000002", "portal:0x03000003",
                             "portal:0x09000002", "portal:0x09000003", "portal:0x13000000", "portal:0x33000002",
                             "portal:0x33000004", "portal:0x33000099"};

// Portal names before cell names, each ascending (the ids are zero-padded, so
// their text sorts as the numbers do).
Names in_order(Names names) {
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const bool a_cell = a.starts_with("cell:");
    const bool b_cell = b.starts_with("cell:");
    return a_cell != b_cell ? b_cell : a < b;
  });
  return names;
}

Names concat(Names a, const Names& b) {
  a.insert(a.end(), b.begin(), b.end());
  return in_order(std::move(a));
}

// What the sky chain of sky_region() loads: its script, the setup its second
// object shows and that setup's default script.
Names with_sky(const Names& names) {
  return concat(names, {"portal:0x02000100", "portal:0x33000100", "portal:0x33000101"});
}

TEST(BakeInputRecords, HandDerivedListsForEachWayABakeEnds) {
  struct Case {
    const char* name;
    void (*build)(BakeWorld&);
    bool sky;
    bool succeeds;
    Names expected;
  };
  const Case cases[] = {
      {"region missing: the region alone", [](BakeWorld& w) { w.add_uniform_terrain(0); }, true, false,
       {"portal:0x13000000"}},
      {"region undecodable", [](BakeWorld& w) { w.add_portal(0x13000000, {1, 2, 3}); }, true, false,
       {"portal:0x13000000"}},
      {"terrain missing: no LandblockInfo, no sky",
       [](BakeWorld& w) {
         w.add_region(sky_region());
         w.add_placements({0x02000001});
       },
       true, false, {"portal:0x13000000", "cell:0xA9B4FFFF"}},
      {"LandblockInfo undecodable: no placed id, no sky",
       [](BakeWorld& w) {
         add_basics(w);
         w.add_cell(0xA9B4FFFE, {1, 2});
       },
       true, false, {"portal:0x13000000", "cell:0xA9B4FFFE", "cell:0xA9B4FFFF"}},
      {"LandblockInfo absent: looked for all the same", add_basics, true, true,
       with_sky({"portal:0x13000000", "cell:0xA9B4FFFE", "cell:0xA9B4FFFF"})},
      {"placed objects and their records", [](BakeWorld& w) {
         add_basics(w);
         add_placed_objects(w);
       }, true, true,
       concat(with_sky(kPlacedPortal), {"cell:0xA9B4FFFE", "cell:0xA9B4FFFF"})},
      {"sky off reads no sky record", [](BakeWorld& w) {
         add_basics(w);
         add_placed_objects(w);
       }, false, true,
       concat(kPlacedPortal, {"cell:0xA9B4FFFE", "cell:0xA9B4FFFF"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BakeWorld w;
    c.build(w);
    w.write();
    BakeInputs in = w.inputs();
    in.bake_sky = c.sky;
    const RecordedBake one_off = bake_landblock_events_with_inputs(in);
    EXPECT_EQ(one_off.result.has_value(), c.succeeds);
    EXPECT_EQ(one_off.result, bake_landblock_events(in));
    EXPECT_EQ(one_off.inputs.names(), c.expected);

    auto session = BakeSession::open({in.dat_dir, in.entity_source, in.region_did, in.bake_sky});
    if (!session) {
      // Fails at the region, as the one-off bake did: its error stands in for
      // every bake the session would have made.
      const RecordedBake stand_in = RecordedBake::failed_on_region(session.error(), in.region_did);
      EXPECT_EQ(stand_in.result, one_off.result);
      EXPECT_EQ(stand_in.inputs, one_off.inputs);
      continue;
    }
    // Twice: the second bake is served from the caches the first one filled.
    for (int round = 0; round < 2; ++round) {
      const RecordedBake shared = (*session)->bake_with_inputs(in.landblock_id);
      EXPECT_EQ(shared.result, one_off.result);
      EXPECT_EQ(shared.inputs, one_off.inputs);
    }
  }
}

TEST(BakeInputRecords, ArchiveThatDoesNotOpenGivesNone) {
  BakeWorld w;
  add_basics(w);
  w.write_cell = false;
  w.write();
  const RecordedBake recorded = bake_landblock_events_with_inputs(w.inputs());
  EXPECT_FALSE(recorded.result.has_value());
  EXPECT_EQ(recorded.inputs, InputRecords{});
}

TEST(BakeInputRecords, SpawnsManifestReadsNoLandblockInfo) {
  BakeWorld w;
  add_basics(w);
  w.add_setup(0x05000001, 0x33000005);  // outside the setup range, baked anyway
  const auto table = w.write_text("wcid_to_setup.json", R"({"7": 83886081})");
  w.write_text("0xA9B4.spawns.jsonl", "{\"wcid\": 7}\n");
  w.write();
  BakeInputs in = w.inputs();
  in.bake_sky = false;
  in.entity_source = EntitySource::from_spawns_manifest(w.dir(), table);
  const Names expected = {"portal:0x05000001", "portal:0x13000000", "portal:0x33000005", "cell:0xA9B4FFFF"};
  EXPECT_EQ(bake_landblock_events_with_inputs(in).inputs.names(), expected);
  auto session = BakeSession::open({in.dat_dir, in.entity_source, in.region_did, in.bake_sky});
  ASSERT_TRUE(session.has_value());
  EXPECT_EQ((*session)->bake_with_inputs(in.landblock_id).inputs.names(), expected);
}

TEST(BakeInputRecords, SessionCountsASharedRecordForEveryLandblockUsingIt) {
  // Two landblocks place setups sharing motion table 0x09000003; the second
  // bake finds it cached and still lists it and its animations.
  BakeWorld w;
  add_basics(w);
  add_placed_objects(w);
  w.add_uniform_terrain(0, 0xA9B50000);
  w.add_placements({0x02000004}, 0xA9B50000);
  w.write();
  BakeInputs in = w.inputs(0xA9B50000);
  auto session = BakeSession::open({in.dat_dir, in.entity_source, in.region_did, in.bake_sky});
  ASSERT_TRUE(session.has_value());
  (void)(*session)->bake(0xA9B40000);
  const RecordedBake second = (*session)->bake_with_inputs(0xA9B50000);
  const Names expected = with_sky({"portal:0x02000004", "portal:0x03000001", "portal:0x03000002",
                                   "portal:0x03000003", "portal:0x09000003", "portal:0x13000000",
                                   "portal:0x33000004", "cell:0xA9B5FFFE", "cell:0xA9B5FFFF"});
  EXPECT_EQ(second.inputs.names(), expected);
  EXPECT_EQ(bake_landblock_events_with_inputs(in).inputs.names(), expected);
}

}  // namespace
}  // namespace ravelin::event_bake
