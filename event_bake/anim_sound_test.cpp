#include "ravelin/event_bake/anim_sound.h"

#include <gtest/gtest.h>

#include <bit>

namespace ravelin::event_bake {
namespace {

using dat::file_type::AnimationFrame;
using dat::file_type::AnimationHook;
using dat::file_type::AnimRef;
using dat::file_type::MotionData;
using dat::file_type::MotionTable;

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

AnimationHook sound(std::uint32_t id) {
  std::vector<std::uint8_t> p;
  put_u32(p, id);
  return {1, 0, p};
}

AnimationHook sound_table(std::uint32_t id, float priority, float probability, float volume) {
  std::vector<std::uint8_t> p;
  put_u32(p, id);
  put_u32(p, std::bit_cast<std::uint32_t>(priority));
  put_u32(p, std::bit_cast<std::uint32_t>(probability));
  put_u32(p, std::bit_cast<std::uint32_t>(volume));
  return {21, 0, p};
}

// An animation whose frame i holds one type-1 hook with sound id i.
dat::file_type::Animation numbered_animation(std::uint32_t id, std::uint32_t frames) {
  dat::file_type::Animation a;
  a.id = id;
  for (std::uint32_t i = 0; i < frames; ++i) a.frames.push_back(AnimationFrame{{}, {sound(i)}});
  return a;
}

MotionData playing(std::vector<AnimRef> refs) {
  MotionData d;
  d.anims = std::move(refs);
  return d;
}

std::vector<std::uint32_t> sound_ids(const std::vector<AnimSoundTrigger>& records) {
  std::vector<std::uint32_t> ids;
  for (const auto& r : records) ids.push_back(r.sound_id);
  return ids;
}

TEST(AnimSoundFrames, RangeClampsToTheAnimation) {
  struct Case {
    std::int32_t start, end;
    std::vector<std::uint32_t> frames;
  };
  const Case cases[] = {
      {-3, -1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {7, 100, {7, 8, 9}},
      {2, 4, {2, 3, 4}},
      {9, 9, {9}},
      {5, 2, {}},
      {12, -1, {}},
      {0, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  anim_sound::AnimationCache cache;
  cache.insert_or_assign(0x03000001, numbered_animation(0x03000001, 10));
  for (const Case& c : cases) {
    std::vector<AnimSoundTrigger> out;
    anim_sound::enumerate_motion_data({}, {{0x03000001, c.start, c.end, 0}}, cache, out);
    EXPECT_EQ(sound_ids(out), c.frames) << c.start << ".." << c.end;
    for (const auto& r : out) EXPECT_EQ(r.hook_frame, r.sound_id);
  }
}

TEST(AnimSoundFrames, MissingAbsentAndEmptyAnimationsYieldNothing) {
  anim_sound::AnimationCache cache;
  cache.insert_or_assign(0x03000002, std::nullopt);
  cache.insert_or_assign(0x03000003, numbered_animation(0x03000003, 0));
  std::vector<AnimSoundTrigger> out;
  anim_sound::enumerate_motion_data({}, {{0x03000001, 0, -1, 0}, {0x03000002, 0, -1, 0}, {0x03000003, 0, -1, 0}},
                                    cache, out);
  EXPECT_TRUE(out.empty());
  anim_sound::enumerate_motion_data({}, {{0x03000001, 0, -1, 0}}, anim_sound::AnimationCache{}, out);
  EXPECT_TRUE(out.empty());
}

TEST(AnimSoundFrames, HookPayloadsAndSharedFields) {
  dat::file_type::Animation a;
  a.id = 0x03000777;  // the stored id, not the cache key, names the animation
  std::vector<std::uint8_t> little{0x01, 0x02, 0x00, 0x00};
  a.frames = {AnimationFrame{{}, {sound_table(0x0A000001, 1.5f, 0.25f, 0.75f), AnimationHook{1, 0, little},
                                  AnimationHook{13, 0, std::vector<std::uint8_t>(40, 0)},
                                  AnimationHook{21, 0, std::vector<std::uint8_t>(12, 0)}}}};
  anim_sound::AnimationCache cache;
  cache.insert_or_assign(0x03000001, a);
  const anim_sound::MotionEntry entry{0x02000009, 0x09000002, 0x41000003, 2, 7, true};
  std::vector<AnimSoundTrigger> out;
  anim_sound::enumerate_motion_data(entry, {{0x03000001, 0, -1, 0}}, cache, out);
  const std::vector<AnimSoundTrigger> expected = {
      {0x02000009, 0x09000002, 0x41000003, 2, 7, true, 0x03000777, 0, 21, 0x0A000001, 1.5f, 0.25f, 0.75f},
      {0x02000009, 0x09000002, 0x41000003, 2, 7, true, 0x03000777, 0, 1, 513, 0.0f, 1.0f, 1.0f},
  };
  EXPECT_EQ(out, expected);
}

TEST(AnimSoundManifest, EmptyTableYieldsNothing) {
  anim_sound::AnimationCache cache;
  cache.insert_or_assign(0x03000001, numbered_animation(0x03000001, 3));
  EXPECT_TRUE(anim_sound::bake_anim_sound_manifest(1, {}, MotionTable{}, cache).empty());
}

TEST(AnimSoundManifest, KindsKeysStanceAndFinalOrder) {
  dat::file_type::Animation a;
  a.id = 0x03000001;
  a.frames = {AnimationFrame{{}, {sound_table(21, 0, 1, 1), sound(1)}}};
  anim_sound::AnimationCache cache;
  cache.insert_or_assign(a.id, a);

  MotionTable t;
  t.id = 0x09000005;
  t.default_stance = 0x0003;
  const MotionData data = playing({{a.id, 0, -1, 0}});
  t.motion_data_0.insert_or_assign(0x00030002, data);
  t.motion_data_0.insert_or_assign(0x00010000, data);
  t.motion_data_1.insert_or_assign(0x00030002, data);
  dat::file_type::MotionDataMap inner;
  inner.insert_or_assign(5, data);
  t.links.insert_or_assign(7, inner);

  const auto records = anim_sound::bake_anim_sound_manifest(0x02000042, {}, t, cache);
  struct Row {
    std::uint32_t key;
    std::uint8_t kind;
    std::optional<std::uint32_t> outer;
    bool stance;
    std::uint32_t type;
  };
  // Sorted by motion key, then hook type; equal keys keep kind order 0, 1.
  const Row rows[] = {{5, 2, 7, false, 1},           {5, 2, 7, false, 21},
                      {0x00010000, 0, {}, false, 1}, {0x00010000, 0, {}, false, 21},
                      {0x00030002, 0, {}, true, 1},  {0x00030002, 1, {}, true, 1},
                      {0x00030002, 0, {}, true, 21}, {0x00030002, 1, {}, true, 21}};
  ASSERT_EQ(records.size(), std::size(rows));
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].csetup_id, 0x02000042u) << i;
    EXPECT_EQ(records[i].motion_table_id, 0x09000005u) << i;
    EXPECT_EQ(records[i].motion_key, rows[i].key) << i;
    EXPECT_EQ(records[i].motion_kind, rows[i].kind) << i;
    EXPECT_EQ(records[i].link_outer_key, rows[i].outer) << i;
    EXPECT_EQ(records[i].is_default_stance, rows[i].stance) << i;
    EXPECT_EQ(records[i].hook_type, rows[i].type) << i;
  }
}

TEST(AnimSoundManifest, DefaultStanceComparesWholeWords) {
  struct Case {
    std::uint32_t key, stance;
    bool expected;
  };
  const Case cases[] = {{0x00030001, 0x3, true},     {0x00030001, 0x4, false}, {0x00000005, 0x0, true},
                        {0x00030000, 0x10003, false}, {0xFFFF0000, 0xFFFF, true}};
  for (const Case& c : cases)
    EXPECT_EQ(anim_sound::is_default_stance(c.key, c.stance), c.expected) << std::hex << c.key << " " << c.stance;
}

TEST(AnimSoundManifest, ReferencedAnimationIdsSortedOnceAcrossMaps) {
  MotionTable t;
  t.motion_data_0.insert_or_assign(1, playing({{9, 0, -1, 0}, {3, 0, -1, 0}}));
  t.motion_data_1.insert_or_assign(1, playing({{3, 0, -1, 0}}));
  dat::file_type::MotionDataMap inner;
  inner.insert_or_assign(2, playing({{0xF0000000, 0, -1, 0}, {1, 0, -1, 0}}));
  t.links.insert_or_assign(4, inner);
  EXPECT_EQ(anim_sound::referenced_animation_ids(t), (std::vector<std::uint32_t>{1, 3, 9, 0xF0000000}));
}

}  // namespace
}  // namespace ravelin::event_bake
