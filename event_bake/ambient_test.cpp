#include "ravelin/event_bake/ambient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ravelin::event_bake {
namespace {

using dat::file_type::AmbientSound;
using dat::file_type::Region;

constexpr std::uint16_t word(std::uint32_t terrain, std::uint32_t scene, std::uint16_t noise = 0) {
  return static_cast<std::uint16_t>(scene << 11 | terrain << 2 | noise);
}

// Terrain 0 reaches scene infos 0, 1, 5 (beyond) by scene types 0, 1, 2; terrain
// 1 reaches scene info 2 (no sound table), terrain 2 scene info 3 (table 7,
// beyond). Tables: 0 with two sounds, 1 without.
Region chain_region() {
  Region r;
  r.terrain.terrain_types = {{"A", 0, {0, 1, 5}}, {"B", 0, {2}}, {"C", 0, {3}}};
  r.scene = dat::file_type::SceneDesc{{{0, {}}, {1, {}}, {-1, {}}, {7, {}}}};
  r.sound = dat::file_type::SoundDesc{
      {{0x20000100, {{1, 0.5f, 0.0f, 1.0f, 2.0f}, {2, 1.0f, 0.25f, 3.0f, 4.0f}}}, {0x20000200, {}}}};
  return r;
}

dat::CellLandblock uniform_terrain(std::uint16_t w) {
  dat::CellLandblock cell;
  cell.terrain.fill(w);
  return cell;
}

TEST(AmbientManifest, MissingSceneOrSoundDescriptionGivesNothing) {
  for (const bool drop_scene : {true, false}) {
    Region r = chain_region();
    if (drop_scene) r.scene.reset(); else r.sound.reset();
    EXPECT_TRUE(ambient::bake_ambient_manifest(r, uniform_terrain(word(0, 0)), 0xA9B40000).empty())
        << "drop_scene=" << drop_scene;
  }
}

TEST(AmbientManifest, UnresolvedGroupsDropOnlyThemselves) {
  dat::CellLandblock cell = uniform_terrain(word(0, 0));
  cell.terrain[3] = word(0, 1);    // scene info 1 -> table 1 (no sounds)
  cell.terrain[10] = word(0, 2);   // scene info 5 beyond scene types
  cell.terrain[11] = word(0, 3);   // scene type beyond terrain 0's list
  cell.terrain[20] = word(1, 0);   // stb_index -1
  cell.terrain[30] = word(2, 0);   // stb_index 7 beyond the tables
  cell.terrain[40] = word(5, 0);   // terrain type beyond the list
  cell.terrain[50] = word(0, 0, 0x0783);  // bits 0-1 and 7-10 do not split groups

  const auto triggers = ambient::bake_ambient_manifest(chain_region(), cell, 0);
  ASSERT_EQ(triggers.size(), 2u);

  std::vector<std::uint32_t> expected_vertices;
  for (std::uint32_t n = 0; n < 81; ++n)
    if (n != 3 && n != 10 && n != 11 && n != 20 && n != 30 && n != 40) expected_vertices.push_back(n);
  const AmbientTrigger& first = triggers[0];
  EXPECT_EQ(first.terrain_type, 0u);
  EXPECT_EQ(first.scene_type, 0u);
  EXPECT_EQ(first.scene_info_idx, 0u);
  EXPECT_EQ(first.stb_index, 0u);
  EXPECT_EQ(first.stb_id, 0x20000100u);
  EXPECT_EQ(first.vertex_indices, expected_vertices);
  const std::vector<AmbientSoundRecord> sounds = {{1, 0.5f, 0.0f, 1.0f, 2.0f, true},
                                                  {2, 1.0f, 0.25f, 3.0f, 4.0f, false}};
  EXPECT_EQ(first.ambient_sounds, sounds);

  const AmbientTrigger expected_second{0, 1, 1, 1, 0x20000200, {3}, {}};
  EXPECT_EQ(triggers[1], expected_second);
}

TEST(AmbientManifest, GroupsComeOutByTerrainThenSceneNotVertexOrder) {
  Region r = chain_region();
  r.terrain.terrain_types = {{"A", 0, {0, 0}}, {"B", 0, {0}}};
  dat::CellLandblock cell = uniform_terrain(word(9, 0));  // unresolved filler
  cell.terrain[3] = word(0, 1);
  cell.terrain[5] = word(1, 0);
  cell.terrain[7] = word(0, 1);
  const auto triggers = ambient::bake_ambient_manifest(r, cell, 0);
  ASSERT_EQ(triggers.size(), 2u);
  EXPECT_EQ(triggers[0].terrain_type, 0u);
  EXPECT_EQ(triggers[0].scene_type, 1u);
  EXPECT_EQ(triggers[0].vertex_indices, (std::vector<std::uint32_t>{3, 7}));
  EXPECT_EQ(triggers[1].terrain_type, 1u);
  EXPECT_EQ(triggers[1].vertex_indices, (std::vector<std::uint32_t>{5}));
  // Both keys share one sound table and still yield a trigger each.
  EXPECT_EQ(triggers[0].stb_id, triggers[1].stb_id);
}

TEST(AmbientManifest, ContinuousExactlyForZeroChanceOfEitherSign) {
  struct Case {
    float base_chance;
    bool continuous;
  };
  const Case cases[] = {{0.0f, true},
                        {-0.0f, true},
                        {0.25f, false},
                        {std::numeric_limits<float>::quiet_NaN(), false},
                        {std::numeric_limits<float>::denorm_min(), false}};
  for (const Case& c : cases) {
    Region r = chain_region();
    r.sound->stb_descs[0].ambient_sounds = {AmbientSound{4, 1.0f, c.base_chance, 0.0f, 0.0f}};
    const auto triggers = ambient::bake_ambient_manifest(r, uniform_terrain(word(0, 0)), 0);
    ASSERT_EQ(triggers.size(), 1u);
    ASSERT_EQ(triggers[0].ambient_sounds.size(), 1u);
    EXPECT_EQ(triggers[0].ambient_sounds[0].continuous, c.continuous) << c.base_chance;
    EXPECT_EQ(std::signbit(triggers[0].ambient_sounds[0].base_chance), std::signbit(c.base_chance));
  }
}

}  // namespace
}  // namespace ravelin::event_bake
