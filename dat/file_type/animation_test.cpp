#include "ravelin/dat/file_type/animation.h"

#include <gtest/gtest.h>

#include "dat_writer/animation_encoder.h"
#include "test_support/prefix_check.h"

namespace ravelin::dat::file_type {
namespace {

using common::ReadError;
using common::Reader;
namespace t = ravelin::dat_writer;

common::ReadResult<Animation> decode(const std::vector<std::uint8_t>& bytes,
                                     std::uint64_t* end = nullptr) {
  Reader reader(bytes);
  auto result = Animation::read(reader);
  if (end) *end = reader.position();
  return result;
}

t::AnimationDef full_animation() {
  auto def = t::animation_with_hooks(
      0x03000ABC, 2,
      {{t::sound_hook(0x0A000001)},
       {},
       {t::sound_table_hook(0x0A000002, 0.5f, 0.25f, 2.0f), t::replace_object_hook(1, 0x8000, 7)}});
  def.flags = 0x1;
  def.object_frames = {{{1, 2, 3}, {1, 0, 0, 0}}, {{4, 5, 6}, {0, 1, 0, 0}}, {{7, 8, 9}, {0, 0, 1, 0}}};
  def.frames[1].part_frames[0].origin = {-1.0f, -2.0f, -3.0f};
  return def;
}

TEST(AnimationRead, DecodesEveryFieldOfAFullEncoding) {
  const auto bytes = t::encode_animation(full_animation());
  std::uint64_t end = 0;
  auto a = decode(bytes, &end);
  ASSERT_TRUE(a) << a.error().to_string();
  EXPECT_EQ(end, bytes.size());
  EXPECT_EQ(a->id, 0x03000ABCu);
  EXPECT_TRUE(a->has_object_frames);
  EXPECT_EQ(a->part_count, 2u);
  EXPECT_EQ(a->frame_count, 3u);
  EXPECT_EQ(a->object_frames,
            (std::vector<Frame>{{{1, 2, 3}, {1, 0, 0, 0}}, {{4, 5, 6}, {0, 1, 0, 0}},
                                {{7, 8, 9}, {0, 0, 1, 0}}}));
  ASSERT_EQ(a->frames.size(), 3u);
  for (const auto& frame : a->frames) EXPECT_EQ(frame.part_frames.size(), 2u);
  EXPECT_EQ(a->frames[1].part_frames[0], (Frame{{-1, -2, -3}, {1, 0, 0, 0}}));
  EXPECT_EQ(a->frames[0].hooks, (std::vector<AnimationHook>{{1, 0, {0x01, 0x00, 0x00, 0x0A}}}));
  EXPECT_TRUE(a->frames[1].hooks.empty());
  ASSERT_EQ(a->frames[2].hooks.size(), 2u);
  EXPECT_EQ(a->frames[2].hooks[0].hook_type, 21u);
  EXPECT_EQ(a->frames[2].hooks[0].payload,
            (std::vector<std::uint8_t>{0x02, 0, 0, 0x0A, 0, 0, 0, 0x3F, 0, 0, 0x80, 0x3E, 0, 0, 0, 0x40}));
  EXPECT_EQ(a->frames[2].hooks[1].payload, (std::vector<std::uint8_t>{1, 0, 0x80, 7, 0, 0, 0, 0}));
}

TEST(AnimationRead, OnlyBitZeroOfTheFlagsSelectsObjectFrames) {
  struct Case {
    std::uint32_t flags;
    bool object_frames;
  };
  const Case cases[] = {{0x0, false}, {0x1, true}, {0xFFFFFFFE, false}, {0xFFFFFFFF, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    auto def = t::animation_with_hooks(0x03000001, 1, {{t::sound_hook(3)}, {}});
    def.flags = c.flags;
    def.object_frames.resize(2);
    const auto bytes = t::encode_animation(def);
    EXPECT_EQ(bytes.size(), 16 + (c.object_frames ? 56u : 0u) + 2 * (28 + 4) + 12);
    std::uint64_t end = 0;
    auto a = decode(bytes, &end);
    ASSERT_TRUE(a) << a.error().to_string();
    EXPECT_EQ(end, bytes.size());
    EXPECT_EQ(a->has_object_frames, c.object_frames);
    EXPECT_EQ(a->object_frames.size(), c.object_frames ? 2u : 0u);
    EXPECT_EQ(a->frames[0].hooks.size(), 1u);
  }
}

TEST(AnimationRead, EmptyShapes) {
  // No frames: complete after the 16 header bytes, even with object frames on.
  auto none = t::animation_with_hooks(0x03000002, 5, {});
  none.flags = 1;
  const auto bytes = t::encode_animation(none);
  ASSERT_EQ(bytes.size(), 16u);
  auto a = decode(bytes);
  ASSERT_TRUE(a) << a.error().to_string();
  EXPECT_EQ(a->frame_count, 0u);
  EXPECT_TRUE(a->frames.empty());
  EXPECT_TRUE(a->object_frames.empty());

  // No parts: each frame is its hook count and hooks only.
  const auto parts_none = t::encode_animation(
      t::animation_with_hooks(0x03000003, 0, {{}, {t::hook_of_type(17)}}));
  ASSERT_EQ(parts_none.size(), 16u + 4 + 4 + 8);
  auto b = decode(parts_none);
  ASSERT_TRUE(b) << b.error().to_string();
  ASSERT_EQ(b->frames.size(), 2u);
  EXPECT_TRUE(b->frames[1].part_frames.empty());
  EXPECT_EQ(b->frames[1].hooks, (std::vector<AnimationHook>{{17, 0, {}}}));
}

TEST(AnimationRead, FailuresComeBackUnchanged) {
  // A frame cut in its orientation: the geometry frames only, none of ours.
  auto def = t::animation_with_hooks(0x03000001, 1, {{}});
  auto bytes = t::encode_animation(def);
  bytes.resize(16 + 12 + 6);
  auto a = decode(bytes);
  ASSERT_FALSE(a);
  ASSERT_EQ(a.error().frames().size(), 2u);
  EXPECT_EQ(a.error().frames()[0].message, "While parsing field 'x' in Quaternion");
  EXPECT_EQ(a.error().frames()[1].message, "While parsing field 'orientation' in Frame");

  // An unsupported hook in the last frame fails the whole file.
  t::HookDef bad;
  bad.type = 27;
  auto with_bad = t::encode_animation(t::animation_with_hooks(0x03000001, 0, {{}, {bad}}));
  auto b = decode(with_bad);
  ASSERT_FALSE(b);
  EXPECT_EQ(b.error().to_string(), "Unsupported AnimationHook type: 0x0000001B at 0x20");
}

TEST(AnimationRead, TruncationAndHugeCountsFailWithTheShortRead) {
  EXPECT_EQ(test_support::first_prefix_not_failing_cleanly(t::encode_animation(full_animation()),
                                                Animation::read),
            std::nullopt);
  struct Case {
    std::uint32_t flags, part_count, frame_count;
  };
  const Case cases[] = {{0, 0, 0xFFFFFFFF}, {1, 0, 0xFFFFFFFF}, {0, 0xFFFFFFFF, 1},
                        {1, 0xFFFFFFFF, 0xFFFFFFFF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame_count);
    t::ByteWriter out;
    out.u32(0x03000001).u32(c.flags).u32(c.part_count).u32(c.frame_count).zeros(8);
    auto a = decode(out.data());
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().message(), "failed to fill whole buffer");
  }
}

}  // namespace
}  // namespace ravelin::dat::file_type
