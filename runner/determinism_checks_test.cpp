#include "runner/determinism_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "ravelin/common/file.h"
#include "ravelin/common/recording_file_system.h"

namespace ravelin::runner {
namespace {

namespace fs = std::filesystem;
using event_bake::AmbientSoundRecord;
using event_bake::AmbientTrigger;
using event_bake::AnimSoundTrigger;
using event_bake::BakeError;
using event_bake::BakeInputs;
using event_bake::BakeResult;
using event_bake::LandblockEventBake;
using event_bake::PhysicsScriptParticleTrigger;
using event_bake::SkyParticleTrigger;
using ::testing::HasSubstr;

// One event of each family.
LandblockEventBake full_bake() {
  LandblockEventBake b;
  b.landblock_id = kCheckLandblockId;
  b.region_did = kCheckRegionDid;
  AmbientTrigger a;
  a.terrain_type = 1;
  a.stb_id = 0x20000001;
  a.vertex_indices = {0, 9};
  a.ambient_sounds.resize(1);
  a.ambient_sounds[0].s_type = 3;
  a.ambient_sounds[0].volume = 0.5f;
  b.ambient_terrain_events = {a};
  AnimSoundTrigger h;
  h.csetup_id = 0x02000100;
  h.hook_type = 21;
  h.volume = 0.25f;
  b.anim_hook_events = {h};
  PhysicsScriptParticleTrigger p;
  p.default_script_id = 0x33000300;
  p.emitter_id = 7;
  b.physics_particle_events = {p};
  SkyParticleTrigger s;
  s.day_group_name = "Clear";
  s.physics_script_id = 0x33000300;
  b.sky_particle_events = {s, s};
  return b;
}

// Serves `baseline` on every call except call number `changed_call` (0 is the
// baseline bake), which gets `changed`; counts calls and keeps the inputs.
struct FakeBake {
  BakeResult<LandblockEventBake> baseline = full_bake();
  int changed_call = -1;
  BakeResult<LandblockEventBake> changed = full_bake();
  int calls = 0;
  std::vector<std::uint32_t> landblock_ids;
  std::vector<fs::path> dirs;
  std::vector<BakeInputs> inputs;

  BakeResult<LandblockEventBake> next() { return calls++ == changed_call ? changed : baseline; }
};

class DeterminismCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("ravelin-checks-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    dat_ = root_ / "dat";
    fs::create_directories(dat_ / "spawns");
    touch(dat_ / "client_portal.dat");
    touch(dat_ / "client_cell_1.dat");
    touch(dat_ / "spawns" / "wcid_to_setup.json");
    site_.dat_candidates = {dat_};
    site_.scratch_dir = root_ / "scratch" / "nested";
  }
  void TearDown() override { fs::remove_all(root_); }

  static void touch(const fs::path& p) { ASSERT_TRUE(common::write_whole_file(p, {})); }

  CheckEnv env() {
    return {&report_, site_,
            [this](std::uint32_t id, const fs::path& dir) {
              fake_.landblock_ids.push_back(id);
              fake_.dirs.push_back(dir);
              return fake_.next();
            },
            [this](const BakeInputs& in) {
              fake_.inputs.push_back(in);
              return fake_.next();
            }};
  }

  // The failure message of a check that must fail.
  std::string failure_of(const CheckResult& r) {
    EXPECT_FALSE(r) << report_.str();
    return r ? std::string() : r.error().message;
  }

  fs::path root_, dat_;
  SiteDirs site_;
  FakeBake fake_;
  std::ostringstream report_;
};

TEST_F(DeterminismCheck, RealDatsPassReportsEveryLineAndWritesTheScratchCopy) {
  const CheckResult r = run_real_dats_check(env());
  ASSERT_TRUE(r) << r.error().message;
  EXPECT_EQ(fake_.calls, 101);
  EXPECT_THAT(fake_.landblock_ids, ::testing::Each(0xA9B40000u));
  EXPECT_THAT(fake_.dirs, ::testing::Each(dat_));

  const LandblockEventBake b = full_bake();
  const std::string bytes = b.to_jsonl_bytes();
  const std::string expected =
      "=== ravelin-event-bake :: determinism_100x ===\n"
      "dat-dir         : " + dat_.string() + "\n"
      "landblock_id    : 0xA9B40000\n"
      "entity-source   : LandblockInfo (cell.dat 0xA9B4FFFE)\n"
      "iter 0 counts   : ambient=1 anim_hooks=1 physics_particles=1 sky_particles=2 (total=5)\n"
      "iter 0 bytes    : " + std::to_string(bytes.size()) + " bytes\n"
      "---- iter 100 sample lines (first 3 of each category) ----\n"
      "  [ambient] 1 total, showing first 3:\n"
      "    [0] " + b.ambient_terrain_events[0].debug_string() + "\n"
      "  [anim_hook] 1 total, showing first 3:\n"
      "    [0] " + b.anim_hook_events[0].debug_string() + "\n"
      "  [physics_particle] 1 total, showing first 3:\n"
      "    [0] " + b.physics_particle_events[0].debug_string() + "\n"
      "  [sky_particle] 2 total, showing first 3:\n"
      "    [0] " + b.sky_particle_events[0].debug_string() + "\n"
      "    [1] " + b.sky_particle_events[1].debug_string() + "\n"
      "PASS — 100 bakes produced byte-identical JSONL (" + std::to_string(bytes.size()) + " bytes)\n";
  EXPECT_EQ(report_.str(), expected);

  auto copy = common::read_whole_file(site_.scratch_dir / "0xA9B4.events.jsonl");
  ASSERT_TRUE(copy);
  EXPECT_EQ(std::string(copy->begin(), copy->end()), bytes);
}

TEST_F(DeterminismCheck, SampleSectionShowsAtMostThreeRecords) {
  fake_.baseline->sky_particle_events.resize(5);
  for (std::uint32_t i = 0; i < 5; ++i) fake_.baseline->sky_particle_events[i].hook_idx = i;
  ASSERT_TRUE(run_real_dats_check(env()));
  const std::string out = report_.str();
  EXPECT_THAT(out, HasSubstr("  [sky_particle] 5 total, showing first 3:\n"));
  EXPECT_THAT(out, HasSubstr("    [2] " + fake_.baseline->sky_particle_events[2].debug_string() + "\n"));
  EXPECT_THAT(out, ::testing::Not(HasSubstr("    [3] ")));
}

TEST_F(DeterminismCheck, ScratchFailuresAreIgnored) {
  touch(root_ / "plain-file");
  site_.scratch_dir = root_ / "plain-file" / "below";  // cannot be created
  EXPECT_TRUE(run_real_dats_check(env()));
  EXPECT_THAT(report_.str(), HasSubstr("PASS — 100 bakes"));
}

TEST_F(DeterminismCheck, MinimumCountsFailInOrderAmbientPhysicsSky) {
  const std::string ambient = "Tessmark LB 0xA9B4 must produce >= 1 ambient_terrain_events; got 0";
  const std::string physics =
      "Tessmark LB 0xA9B4 must produce >= 1 physics_particle_events (destroyed portal etc); got 0";
  const std::string sky = "Tessmark LB 0xA9B4 must produce >= 1 sky_particle_events (moon chain); got 0";
  struct Case {
    bool no_ambient, no_anim, no_physics, no_sky;
    std::string message;  // empty: passes
  };
  const std::vector<Case> cases = {
      {true, false, false, false, ambient}, {false, false, true, false, physics},
      {false, false, false, true, sky},     {true, true, true, true, ambient},
      {false, false, true, true, physics},  {true, false, false, true, ambient},
      {false, true, false, false, ""},  // the animation sound list has no minimum
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    LandblockEventBake b = full_bake();
    if (c.no_ambient) b.ambient_terrain_events.clear();
    if (c.no_anim) b.anim_hook_events.clear();
    if (c.no_physics) b.physics_particle_events.clear();
    if (c.no_sky) b.sky_particle_events.clear();
    EXPECT_EQ(minimum_count_failure(b).value_or(""), c.message);

    fake_ = FakeBake{};
    fake_.baseline = b;
    report_.str("");
    const CheckResult r = run_real_dats_check(env());
    if (c.message.empty()) {
      EXPECT_TRUE(r);
      continue;
    }
    EXPECT_EQ(failure_of(r), c.message);
    EXPECT_EQ(fake_.calls, 1) << "no repetition after a failed minimum";
    EXPECT_THAT(report_.str(), HasSubstr("iter 0 bytes    : "));
    EXPECT_THAT(report_.str(), ::testing::Not(HasSubstr("PASS")));
  }
}

TEST(FirstDifference, OffsetTextOfTheFirstDifferingByte) {
  struct Case {
    std::string baseline, run;
    std::optional<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"abc\n", "abc\n", std::nullopt}, {"", "", std::nullopt},
      {"abc\n", "abc\nx", "tail-length"}, {"abc\nx", "abc\n", "tail-length"},
      {"", "a", "tail-length"},          {"abc\n", "abd\n", "2"},
      {"abc", "xbc", "0"},               {"abcdef", "abcXefgh", "3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(first_difference(c.baseline, c.run), c.expected) << c.baseline << " / " << c.run;
  }
}

TEST_F(DeterminismCheck, LongerRunReportsTailLength) {
  fake_.changed_call = 4;
  fake_.changed->sky_particle_events.push_back(fake_.changed->sky_particle_events.back());
  const std::size_t base = full_bake().to_jsonl_bytes().size();
  const std::size_t longer = fake_.changed->to_jsonl_bytes().size();
  EXPECT_EQ(failure_of(run_real_dats_check(env())),
            "iter 4 byte mismatch at offset tail-length (baseline " + std::to_string(base) + " bytes, this run " +
                std::to_string(longer) + " bytes)");
  EXPECT_EQ(fake_.calls, 5);
}

TEST_F(DeterminismCheck, DifferingByteReportsItsOffset) {
  fake_.changed_call = 17;
  fake_.changed->ambient_terrain_events[0].terrain_type = 2;
  const std::string bytes = full_bake().to_jsonl_bytes();
  const std::string key = "\"terrain_type\":";
  const std::size_t offset = bytes.find(key + "1") + key.size();
  ASSERT_NE(bytes.find(key + "1"), std::string::npos);
  EXPECT_EQ(failure_of(run_real_dats_check(env())),
            "iter 17 byte mismatch at offset " + std::to_string(offset) + " (baseline " +
                std::to_string(bytes.size()) + " bytes, this run " + std::to_string(bytes.size()) + " bytes)");
}

TEST_F(DeterminismCheck, RecordDriftWithEqualBytesIsAStructMismatch) {
  // Both volumes print as 0.500000 with six decimals.
  fake_.changed_call = 100;
  fake_.changed->ambient_terrain_events[0].ambient_sounds[0].volume = 0.5000001f;
  ASSERT_EQ(fake_.changed->to_jsonl_bytes(), full_bake().to_jsonl_bytes());
  const CheckResult r = run_real_dats_check(env());
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message, "iter 100 struct mismatch (JSONL was byte-equal — drift is in formatter only)");
  ASSERT_TRUE(r.error().equality);
  EXPECT_EQ(r.error().equality->this_run, fake_.changed->debug_string());
  EXPECT_EQ(r.error().equality->baseline, full_bake().debug_string());
}

TEST_F(DeterminismCheck, NaNFloatsEqualThemselvesInTheRecordComparison) {
  fake_.baseline->anim_hook_events[0].volume = std::numeric_limits<float>::quiet_NaN();
  ASSERT_FALSE(*fake_.baseline == *fake_.baseline) << "the records' own equality rejects NaN";
  const CheckResult r = run_real_dats_check(env());
  EXPECT_TRUE(r) << r.error().message;
}

TEST_F(DeterminismCheck, BakeErrorsUseDebugFormFirstAndDisplayFormLater) {
  fake_.baseline = std::unexpected(BakeError::file_missing("Region", 0x13000000));
  EXPECT_EQ(failure_of(run_real_dats_check(env())),
            "baseline bake should succeed on retail DATs: FileMissing { which: \"Region\", id: 318767104 }");

  fake_ = FakeBake{};
  fake_.changed_call = 3;
  fake_.changed = std::unexpected(BakeError::file_missing("Region", 0x13000000));
  EXPECT_EQ(failure_of(run_real_dats_check(env())), "iter 3 failed: Region 0x13000000 missing from DAT");

  fake_ = FakeBake{};
  fake_.baseline = std::unexpected(BakeError::setup_table("/x/wcid_to_setup.json", "top-level is not an object"));
  EXPECT_THAT(failure_of(run_spawns_manifest_check(env())),
              ::testing::StartsWith("baseline bake should succeed: SetupTable { path: "));

  fake_ = FakeBake{};
  fake_.changed_call = 5;
  fake_.changed = std::unexpected(BakeError::file_missing("CellLandblock", 0xA9B4FFFF));
  EXPECT_EQ(failure_of(run_spawns_manifest_check(env())), "iter 5: CellLandblock 0xA9B4FFFF missing from DAT");
}

TEST_F(DeterminismCheck, WithoutQualifyingDatDirectoryBothChecksSkip) {
  fs::create_directories(root_ / "portal-only");
  touch(root_ / "portal-only" / "client_portal.dat");
  fs::create_directories(root_ / "portal-is-dir" / "client_portal.dat");
  touch(root_ / "portal-is-dir" / "client_cell_1.dat");
  const std::vector<std::vector<fs::path>> candidate_lists = {
      {}, {root_ / "missing"}, {root_ / "portal-only", root_ / "portal-is-dir"}};
  for (const auto& candidates : candidate_lists) {
    site_.dat_candidates = candidates;
    for (auto* check : {&run_real_dats_check, &run_spawns_manifest_check}) {
      report_.str("");
      EXPECT_TRUE(check(env()));
      EXPECT_EQ(report_.str(), "SKIP — no dat\n");
    }
  }
  EXPECT_EQ(fake_.calls, 0);
}

TEST_F(DeterminismCheck, SpawnsCheckSkipsUnlessDirectoryAndSetupTableAreStaged) {
  fs::create_directories(root_ / "table-is-dir" / "wcid_to_setup.json");
  fs::create_directories(root_ / "no-table");
  for (const fs::path& spawns : {root_ / "absent", root_ / "table-is-dir", root_ / "no-table"}) {
    site_.spawns_dir_override = spawns;
    report_.str("");
    EXPECT_TRUE(run_spawns_manifest_check(env()));
    EXPECT_EQ(report_.str(), "SKIP — spawns dir / setup table not staged\n") << spawns;
  }
  EXPECT_EQ(fake_.calls, 0);
}

TEST_F(DeterminismCheck, SpawnsCheckBakesTheStagedManifestAndPasses) {
  const CheckResult r = run_spawns_manifest_check(env());
  ASSERT_TRUE(r) << r.error().message;
  ASSERT_EQ(fake_.inputs.size(), 101u);
  const BakeInputs& in = fake_.inputs.back();
  EXPECT_EQ(in.dat_dir, dat_);
  ASSERT_FALSE(in.entity_source.is_landblock_info());
  EXPECT_EQ(in.entity_source.spawns_manifest->spawns_dir, dat_ / "spawns");
  EXPECT_EQ(in.entity_source.spawns_manifest->setup_table, dat_ / "spawns" / "wcid_to_setup.json");
  EXPECT_EQ(in.landblock_id, 0xA9B40000u);
  EXPECT_EQ(in.region_did, 0x13000000u);
  EXPECT_TRUE(in.bake_sky);
  const std::size_t n = full_bake().to_jsonl_bytes().size();
  EXPECT_EQ(report_.str(),
            "=== ravelin-event-bake :: determinism_100x (SpawnsManifest) ===\n"
            "spawns-dir      : " + (dat_ / "spawns").string() + "\n"
            "setup-table     : " + (dat_ / "spawns" / "wcid_to_setup.json").string() + "\n"
            "iter 0 counts   : ambient=1 anim_hooks=1 physics_particles=1 sky_particles=2 (total=5)\n"
            "PASS — SpawnsManifest 100x byte-equal (" + std::to_string(n) + " bytes)\n");
}

TEST_F(DeterminismCheck, SpawnsCheckComparesBytesOnly) {
  // No minimum counts here, and record drift that keeps the bytes passes.
  fake_.baseline->ambient_terrain_events.clear();
  fake_.changed_call = 9;
  fake_.changed = fake_.baseline;
  fake_.changed->anim_hook_events[0].volume = 0.2500001f;
  EXPECT_TRUE(run_spawns_manifest_check(env()));

  fake_ = FakeBake{};
  fake_.changed_call = 42;
  fake_.changed->physics_particle_events[0].emitter_id = 8;
  const CheckResult r = run_spawns_manifest_check(env());
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message, "iter 42 JSONL diverged");
  ASSERT_TRUE(r.error().equality);
  EXPECT_EQ(r.error().equality->this_run, fake_.changed->to_jsonl_bytes());
  EXPECT_EQ(r.error().equality->baseline, full_bake().to_jsonl_bytes());
}

// The staged files and the scratch copy through the environment's file
// system: here one in memory, so nothing below is on the machine.
TEST_F(DeterminismCheck, StagedFilesAndTheScratchCopyGoThroughTheGivenFileSystem) {
  common::RecordingFileSystem files("/site");
  files.put_file("/site/dat/client_portal.dat", "");
  files.put_file("/site/dat/client_cell_1.dat", "");
  files.put_file("/site/dat/spawns/wcid_to_setup.json", "{}");
  site_.dat_candidates = {"/site/none", "/site/dat"};
  site_.scratch_dir = "/site/scratch/nested";
  CheckEnv in_memory = env();
  in_memory.files = &files;
  ASSERT_TRUE(run_real_dats_check(in_memory));
  EXPECT_THAT(fake_.dirs, ::testing::Each(fs::path("/site/dat")));
  EXPECT_EQ(files.file_text("/site/scratch/nested/0xA9B4.events.jsonl"), full_bake().to_jsonl_bytes());
  report_.str("");
  ASSERT_TRUE(run_spawns_manifest_check(in_memory));
  EXPECT_THAT(report_.str(), HasSubstr("PASS — SpawnsManifest"));

  // A full disk under the scratch copy does not fail the check.
  common::RecordingFileSystem full("/site");
  full.put_file("/site/dat/client_portal.dat", "");
  full.put_file("/site/dat/client_cell_1.dat", "");
  full.set_capacity(0);
  in_memory.files = &full;
  fake_ = FakeBake{};
  ASSERT_TRUE(run_real_dats_check(in_memory));
  EXPECT_EQ(full.file_text("/site/scratch/nested/0xA9B4.events.jsonl"), "");
  const auto ops = full.operations();
  ASSERT_FALSE(ops.empty());
  EXPECT_EQ(common::to_string(ops.back()), "write /site/scratch/nested/0xA9B4.events.jsonl 0+" +
                                               std::to_string(full_bake().to_jsonl_bytes().size()) + " (failed)");
  // Without the setup table in that file system the spawns check skips.
  report_.str("");
  ASSERT_TRUE(run_spawns_manifest_check(in_memory));
  EXPECT_EQ(report_.str(), "SKIP — spawns dir / setup table not staged\n");
}

}  // namespace
}  // namespace ravelin::runner
