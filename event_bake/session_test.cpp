// A session's bakes against one-off bakes of the same inputs: every landblock
// of the sample world, both entity sources, failures included, from two
// threads at once.
#include "ravelin/event_bake/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "ravelin/common/sorted_ids.h"
#include "test_support/test_world.h"
#include "dat_writer/sample_world.h"

namespace ravelin::event_bake {
namespace {

using test_support::BakeWorld;
using test_support::ScratchDir;

std::string describe(const BakeResult<LandblockEventBake>& r) {
  return r ? r->to_jsonl_bytes() : "error: " + r.error().to_string();
}

// Bakes `ids` through the session from two threads (each taking every other
// id) and checks each against the one-off bake of `base` with that id.
void expect_session_matches(const BakeSession& session, const BakeInputs& base,
                            const std::vector<std::uint32_t>& ids) {
  std::vector<BakeResult<LandblockEventBake>> results(ids.size(), std::unexpected(BakeError::file_missing("", 0)));
  auto work = [&](std::size_t first) {
    for (std::size_t i = first; i < ids.size(); i += 2) results[i] = session.bake(ids[i]);
  };
  std::thread other(work, 1);
  work(0);
  other.join();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    BakeInputs inputs = base;
    inputs.landblock_id = ids[i];
    const auto expected = bake_landblock_events(inputs);
    SCOPED_TRACE(::testing::Message() << std::hex << ids[i]);
    EXPECT_EQ(results[i], expected);
    EXPECT_EQ(describe(results[i]), describe(expected));
  }
}

BakeSession::Options options_of(const BakeInputs& in) {
  return {in.dat_dir, in.entity_source, in.region_did, in.bake_sky};
}

class SessionOnSampleWorld : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    dat_writer::SampleWorldParams params;
    params.info_absent_one_in = 3;
    params.cell_fillers_per_landblock = 4;
    ASSERT_TRUE(dat_writer::write_sample_world(dir_->path(), dat_writer::build_sample_world(params)).has_value());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  BakeInputs inputs(EntitySource source, bool sky = true) const {
    BakeInputs in;
    in.dat_dir = dir_->path();
    in.entity_source = std::move(source);
    in.region_did = kDefaultRegionDid;
    in.bake_sky = sky;
    return in;
  }
  static EntitySource spawns(const std::string& table = "wcid_to_setup.json") {
    return EntitySource::from_spawns_manifest(dir_->path() / "spawns", dir_->path() / "spawns" / table);
  }

  static ScratchDir* dir_;
};
ScratchDir* SessionOnSampleWorld::dir_ = nullptr;

TEST_F(SessionOnSampleWorld, EveryLandblockMatchesTheOneOffBakeForEverySource) {
  const std::vector<BakeInputs> cases = {inputs(EntitySource::landblock_info()),
                                         inputs(EntitySource::landblock_info(), false), inputs(spawns()),
                                         inputs(spawns("no_such_table.json"))};
  // Also over a cell directory of the landblocks' own records alone, without the world's cells.
  for (const BakeInputs& base : cases) for (const bool records_only : {false, true}) {
    SCOPED_TRACE(records_only ? "landblock records only" : "whole cell directory");
    BakeSession::Options options = options_of(base);
    options.landblock_records_only = records_only;
    auto session = BakeSession::open(options);
    ASSERT_TRUE(session.has_value()) << session.error().to_string();
    const auto& cell_entries = (*session)->cell().entries();
    EXPECT_EQ(std::ranges::all_of(cell_entries, [](const auto& e) { return dat::is_landblock_record_id(e.id); }),
              records_only)
        << "the world has cells beside the landblocks' records, and only the whole directory holds them";
    std::vector<std::uint32_t> ids = (*session)->cell_landblock_ids();
    ASSERT_EQ(ids.size(), 9u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(ids[4], 0xA9B40000u);
    ids.push_back(0x01020000);  // no CellLandblock: FileMissing before the setup table is consulted
    ids.push_back(0xA9B4FFFF);  // low bits are carried through as a one-off bake carries them
    // Twice over, so the second round runs on filled caches.
    expect_session_matches(**session, base, ids);
    expect_session_matches(**session, base, ids);
  }
}

TEST_F(SessionOnSampleWorld, FocusLandblockHasEveryFamily) {
  auto session = BakeSession::open(options_of(inputs(EntitySource::landblock_info())));
  ASSERT_TRUE(session.has_value());
  const auto bake = (*session)->bake(0xA9B40000);
  ASSERT_TRUE(bake.has_value());
  EXPECT_FALSE(bake->ambient_terrain_events.empty());
  EXPECT_FALSE(bake->anim_hook_events.empty());
  EXPECT_FALSE(bake->physics_particle_events.empty());
  EXPECT_FALSE(bake->sky_particle_events.empty());
}

// The objects and spawns lines the session reports are the ones the bake takes
// its setups from: their setup ids, sorted and each once, are placed_setup_ids.
TEST_F(SessionOnSampleWorld, PlacedObjectsAndSpawnedSetupsAgreeWithTheBake) {
  auto info = BakeSession::open(options_of(inputs(EntitySource::landblock_info())));
  auto spawned = BakeSession::open(options_of(inputs(spawns())));
  ASSERT_TRUE(info.has_value() && spawned.has_value());
  std::size_t objects_seen = 0, lines_seen = 0;
  for (const std::uint32_t id : (*info)->cell_landblock_ids()) {
    SCOPED_TRACE(::testing::Message() << std::hex << id);
    const auto objects = (*info)->placed_objects(id);
    const auto placed = (*info)->placed_setup_ids(id);
    ASSERT_TRUE(objects.has_value() && placed.has_value());
    std::vector<std::uint32_t> taken;
    for (const auto& object : *objects)
      if (object.is_setup) taken.push_back(object.stab.id);
    EXPECT_EQ(common::sorted_unique_ids(std::move(taken)), *placed);
    // Whatever the source, the objects are the LandblockInfo's.
    const auto objects_with_spawns = (*spawned)->placed_objects(id);
    ASSERT_TRUE(objects_with_spawns.has_value());
    EXPECT_EQ(objects_with_spawns->size(), objects->size());
    objects_seen += objects->size();

    const auto lines = (*spawned)->spawned_setups(id);
    const auto spawned_placed = (*spawned)->placed_setup_ids(id);
    ASSERT_TRUE(lines.has_value() && spawned_placed.has_value());
    std::vector<std::uint32_t> setups;
    for (const auto& line : *lines) setups.push_back(line.setup_id);
    EXPECT_EQ(common::sorted_unique_ids(std::move(setups)), *spawned_placed);
    lines_seen += lines->size();
    EXPECT_TRUE((*info)->spawned_setups(id).value().empty());
  }
  EXPECT_GT(objects_seen, 0u);
  EXPECT_GT(lines_seen, 0u);
  EXPECT_EQ((*info)->sky_events(), (*info)->bake(0xA9B40000).value().sky_particle_events);
  auto bad_table = BakeSession::open(options_of(inputs(spawns("no_such_table.json"))));
  ASSERT_TRUE(bad_table.has_value());
  EXPECT_FALSE((*bad_table)->spawned_setups(0xA9B40000).has_value());
}

TEST(SessionOpen, FailsLikeTheOneOffBake) {
  BakeWorld no_cell;
  no_cell.add_region(dat_writer::RegionDef{});
  no_cell.write_cell = false;
  BakeWorld no_region;
  no_region.add_uniform_terrain(0);
  for (BakeWorld* w : {&no_cell, &no_region}) {
    w->write();
    const BakeInputs in = w->inputs();
    const auto session = BakeSession::open(options_of(in));
    const auto expected = bake_landblock_events(in);
    ASSERT_FALSE(session.has_value());
    ASSERT_FALSE(expected.has_value());
    EXPECT_EQ(session.error(), expected.error());
  }
}

TEST(SessionBake, UndecodableLandblockInfoAndBrokenSetupFilesMatch) {
  BakeWorld w;
  w.add_region(dat_writer::RegionDef{});
  w.add_uniform_terrain(0);
  w.add_cell(dat_writer::landblock_info_file_id(test_support::kBakeLandblock), {1, 2, 3});
  const std::uint32_t second = 0xA9B50000;
  w.add_uniform_terrain(0, second);
  w.add_placements({0x02000001, 0x02000002, 0x02000001}, second);
  w.add_portal(0x02000001, {0xFF});  // a setup that does not decode adds nothing
  w.add_setup(0x02000002, 0, 0x09000001);  // its motion table is missing
  w.write();
  const BakeInputs in = w.inputs();
  auto session = BakeSession::open(options_of(in));
  ASSERT_TRUE(session.has_value());
  expect_session_matches(**session, in, {test_support::kBakeLandblock, second});
  EXPECT_FALSE((*session)->bake(test_support::kBakeLandblock).has_value());
}

}  // namespace
}  // namespace ravelin::event_bake
