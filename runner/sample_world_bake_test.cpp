// The sample world through the real bake: the focus landblock meets every event
// family through both entity sources, and the NaN variant passes the check.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <sstream>

#include "ravelin/event_bake/landblock.h"
#include "runner/determinism_checks.h"
#include "dat_writer/sample_world.h"

namespace ravelin::runner {
namespace {

namespace fs = std::filesystem;
using event_bake::LandblockEventBake;

class SampleWorldBake : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ravelin-world-bake-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write_world(const dat_writer::SampleWorldParams& params) {
    ASSERT_TRUE(dat_writer::write_sample_world(dir_, dat_writer::build_sample_world(params)));
  }
  event_bake::BakeInputs spawns_inputs() const {
    event_bake::BakeInputs in;
    in.dat_dir = dir_;
    in.entity_source = event_bake::EntitySource::from_spawns_manifest(dir_ / "spawns", dir_ / "spawns" / "wcid_to_setup.json");
    in.landblock_id = kCheckLandblockId;
    in.region_did = kCheckRegionDid;
    in.bake_sky = true;
    return in;
  }

  fs::path dir_;
};

void expect_every_family(const LandblockEventBake& b) {
  EXPECT_GT(b.ambient_terrain_events.size(), 0u);
  EXPECT_GT(b.anim_hook_events.size(), 0u);
  EXPECT_GT(b.physics_particle_events.size(), 0u);
  EXPECT_GT(b.sky_particle_events.size(), 0u);
}

TEST_F(SampleWorldBake, FocusLandblockMeetsEveryFamilyThroughBothSources) {
  for (const std::uint64_t seed : {1u, 2u, 3u, 1234567u}) {
    SCOPED_TRACE(seed);
    write_world({.seed = seed});
    auto info = event_bake::bake_landblock_events_simple(kCheckLandblockId, dir_);
    ASSERT_TRUE(info) << info.error().to_string();
    expect_every_family(*info);
    auto spawns = event_bake::bake_landblock_events(spawns_inputs());
    ASSERT_TRUE(spawns) << spawns.error().to_string();
    expect_every_family(*spawns);
    // Both sky chain sources occur.
    bool direct = false, via_setup = false;
    for (const auto& s : info->sky_particle_events) {
      direct |= s.physics_script_source == event_bake::ScriptSource::SkyObject;
      via_setup |= s.physics_script_source == event_bake::ScriptSource::SetupModel;
    }
    EXPECT_TRUE(direct);
    EXPECT_TRUE(via_setup);
    // Sound hooks of both types are reached.
    bool type1 = false, type21 = false;
    for (const auto& a : info->anim_hook_events) {
      type1 |= a.hook_type == 1;
      type21 |= a.hook_type == 21;
    }
    EXPECT_TRUE(type1);
    EXPECT_TRUE(type21);
  }
}

TEST_F(SampleWorldBake, NaNSoundHookWorldPassesTheRecordComparison) {
  write_world({.nan_sound_hook = true});
  auto a = event_bake::bake_landblock_events_simple(kCheckLandblockId, dir_);
  auto b = event_bake::bake_landblock_events_simple(kCheckLandblockId, dir_);
  ASSERT_TRUE(a && b);
  bool has_nan = false;
  for (const auto& h : a->anim_hook_events) has_nan |= std::isnan(h.volume);
  ASSERT_TRUE(has_nan);
  ASSERT_FALSE(*a == *b) << "the records' own equality rejects the NaN";
  ASSERT_EQ(a->to_jsonl_bytes(), b->to_jsonl_bytes());

  std::ostringstream report;
  CheckEnv env{&report, {}, event_bake::bake_landblock_events_simple, event_bake::bake_landblock_events};
  env.site.dat_candidates = {dir_};
  env.site.scratch_dir = dir_ / "scratch";
  const CheckResult r = run_real_dats_check(env);
  EXPECT_TRUE(r) << r.error().message;
  EXPECT_NE(report.str().find("PASS — 100 bakes produced byte-identical JSONL"), std::string::npos);
  const CheckResult s = run_spawns_manifest_check(env);
  EXPECT_TRUE(s) << s.error().message;
}

}  // namespace
}  // namespace ravelin::runner
