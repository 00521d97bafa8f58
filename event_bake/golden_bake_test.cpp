// A hand-built landblock with events of all four families, baked through the
// archives and compared byte for byte with lines worked out from the rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ravelin/common/file.h"
#include "ravelin/event_bake/landblock.h"
#include "test_support/test_world.h"

namespace ravelin::event_bake {
namespace {

using namespace ravelin::dat_writer;
using namespace ravelin::test_support;

RegionDef golden_region() {
  RegionDef r;
  r.terrain.terrain_types = {{"Grass", 0, {0, 1}}, {"Sand", 0, {1}}};
  r.scene = SceneDescDef{{{0, {}}, {1, {}}}};
  r.sound = SoundDescDef{{{0x20000001, {{1, 0.8f, 0.0f, 1.0f, 2.0f}}, {}},
                           {0x20000002, {{3, 1.0f, 0.25f, 0.5f, 0.5f}}, {}}}};
  DayGroupDef dawn{0.5f, "Dawn", {}, {}};
  dawn.sky_objects = {{0.0f, 0.25f, {}, 0, 0x33000002, 0},
                      {0.25f, 0.5f, {}, 0x02000030, 0, 0},
                      {0.5f, 0.75f, {}, 0x01000001, 0, 0}};
  DayGroupDef storm{0.25f, "Storm \"A\"\\B", {}, {}};
  storm.sky_objects = {{0.0f, 1.0f, {}, 0x02000030, 0x34000001, 0},
                       {0.5f, 1.0f, {}, 0x02000040, 0x33000002, 0}};
  r.sky = SkyDescDef{0.0, 0.0, {dawn, storm}};
  return r;
}

MotionDataDef playing_refs(std::vector<AnimRefDef> refs) {
  MotionDataDef data;
  data.anims = std::move(refs);
  return data;
}

void build_golden_world(BakeWorld& w) {
  w.add_region(golden_region());

  std::array<std::uint16_t, kLandblockVertices> terrain{};
  terrain.fill(terrain_word(2, 0));  // terrain type 2 is not in the region: no trigger
  terrain[0] = terrain[1] = terrain[2] = terrain_word(0, 0);
  terrain[40] = terrain_word(0, 0) | 0x0003;
  terrain[80] = terrain_word(0, 1);
  terrain[10] = terrain_word(1, 0);
  w.add_terrain(terrain);
  w.add_placements({0x02000010, 0x02000020, 0x01000005, 0x02000010, 0x02000099});

  w.add_setup(0x02000010, 0x33000001, 0x09000001);
  w.add_setup(0x02000020, 0x33000001, 0x09000002);
  w.add_setup(0x02000030, 0x33000003);

  MotionTableDef first;
  first.id = 0x09000001;
  first.default_stance = 0x3D;
  // Overlapping ranges over frame 1 (two sound hooks) give a, b, a, b.
  first.motion_data_0 = {{0x003D0003, playing_refs({{0x03000001, 0, -1, 0}, {0x03000001, 1, 1, 0}})}};
  // 0x03000002 is not in the archive.
  first.links = {{0x003D0000, {{0x41000003, playing_refs({{0x03000002, 0, -1, 0}, {0x03000003, 0, -1, 0}})}}}};
  w.add_motion_table(first);
  MotionTableDef second;
  second.id = 0x09000002;
  second.default_stance = 0x00010000;
  second.motion_data_1 = {{0x00010005, playing_refs({{0x03000001, 0, 0, 0}})}};
  w.add_motion_table(second);

  w.add_animation(animation_with_hooks(
      0x03000001, 1,
      {{sound_table_hook(0x0A000010, 0.5f, 0.75f, 0.25f), particle_hook(0x32000099, 0)},
       {sound_hook(0x0A000020), sound_hook(0x0A000021)}}));
  w.add_animation(animation_with_hooks(0x03000003, 1, {{sound_hook(0x0A000030)}}));

  w.add_script(physics_script_of(0x33000001, {{0.5, particle_hook(0x32000005, 1)},
                                              {0.0, particle_hook(0x32000001, 0, true)},
                                              {1.0, hook_of_type(2)},
                                              {-0.0, particle_hook(0x32000001, 0, true)},
                                              {0.25, particle_hook(0x32000001, 0, true)}}));
  w.add_script(physics_script_of(0x33000002, {{0.0, particle_hook(0x32000011, 0, true)},
                                              {0.5, hook_of_type(2)},
                                              {0.75, particle_hook(0x32000012, 0)}}));
  w.add_script(physics_script_of(0x33000003, {{0.125, particle_hook(0x32000021, 0)}}));
}

std::string expected_golden_lines() {
  const char* root = std::getenv("RAVELIN_SOURCE_DIR");
  const std::filesystem::path base = root != nullptr ? std::filesystem::path(root) : std::filesystem::path(__FILE__).parent_path().parent_path();
  const auto bytes = common::read_whole_file(base / "event_bake/testdata/golden_a9b4.jsonl");
  EXPECT_TRUE(bytes.has_value()) << "golden file unreadable under " << base;
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

TEST(GoldenBake, HandBuiltLandblockGivesTheWorkedOutLines) {
  BakeWorld w;
  build_golden_world(w);
  const auto dir = w.write();
  const auto bake = bake_landblock_events_simple(0xA9B40000, dir);
  ASSERT_TRUE(bake.has_value()) << bake.error().to_string();
  const std::string expected = expected_golden_lines();
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(bake->to_jsonl_bytes(), expected);
}

}  // namespace
}  // namespace ravelin::event_bake
