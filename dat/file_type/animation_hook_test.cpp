#include <gtest/gtest.h>

#include "ravelin/dat/file_type/setup_model.h"
#include "dat_writer/byte_writer.h"
#include "dat_writer/hook_encoder.h"
#include "test_support/prefix_check.h"

namespace ravelin::dat::file_type {
namespace {

using common::ReadError;
using common::Reader;
namespace t = ravelin::dat_writer;

constexpr std::uint32_t kSentinel = 0xC0FFEE11;

// The hook followed by a sentinel word: a wrong consumed length shows as a
// wrong sentinel.
std::vector<std::uint8_t> hook_then_sentinel(const t::HookDef& hook) {
  t::ByteWriter out;
  t::write_hook(out, hook);
  out.u32(kSentinel);
  return out.take();
}

TEST(AnimationHookRead, EveryTypeConsumesItsTableLength) {
  // Padded payload length by type, 0 to 26.
  const std::size_t padded[27] = {0,  4, 4,  28, 0,  4, 4, 16, 12, 16, 12, 16, 8, 40,
                                  4,  4, 4,  0,  4,  8, 12, 16, 12, 8,  12, 4,  40};
  for (std::uint32_t type = 0; type <= 26; ++type) {
    SCOPED_TRACE(type);
    auto def = t::hook_of_type(type, 0xABCD0000 + type);
    for (std::size_t i = 0; i < def.payload.size(); ++i)
      def.payload[i] = static_cast<std::uint8_t>(i + 1);
    const auto bytes = hook_then_sentinel(def);
    Reader reader(bytes);
    auto hook = AnimationHook::read(reader);
    ASSERT_TRUE(hook) << hook.error().to_string();
    EXPECT_EQ(hook->hook_type, type);
    EXPECT_EQ(hook->hook_word, 0xABCD0000 + type);
    ASSERT_EQ(hook->payload.size(), padded[type]);
    EXPECT_EQ(reader.position(), 8 + padded[type]);
    for (std::size_t i = 0; i < def.payload.size(); ++i)
      EXPECT_EQ(hook->payload[i], def.payload[i]) << "byte " << i;
    EXPECT_EQ(*reader.read_u32(), kSentinel);
  }
}

TEST(AnimationHookRead, ReplaceObjectPayloadDependsOnTheWordsTopBit) {
  struct Case {
    std::uint16_t word;
    std::optional<std::uint16_t> extra;
    std::vector<std::uint8_t> payload;
  };
  const Case cases[] = {
      {0x0001, std::nullopt, {0x7E, 0x01, 0x00, 0x00}},
      {0x7FFF, std::nullopt, {0x7E, 0xFF, 0x7F, 0x00}},
      {0x8001, 0x1234, {0x7E, 0x01, 0x80, 0x34, 0x12, 0x00, 0x00, 0x00}},
      {0xFFFF, 0xBEEF, {0x7E, 0xFF, 0xFF, 0xEF, 0xBE, 0x00, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const auto bytes = hook_then_sentinel(t::replace_object_hook(0x7E, c.word, c.extra));
    Reader reader(bytes);
    auto hook = AnimationHook::read(reader);
    ASSERT_TRUE(hook) << hook.error().to_string();
    EXPECT_EQ(hook->payload, c.payload);
    EXPECT_EQ(*reader.read_u32(), kSentinel);

    // Padding counts from the hook's first byte, wherever the hook starts.
    std::vector<std::uint8_t> shifted = {0xAA};
    shifted.insert(shifted.end(), bytes.begin(), bytes.end());
    Reader at_one(shifted, 1);
    auto moved = AnimationHook::read(at_one);
    ASSERT_TRUE(moved) << moved.error().to_string();
    EXPECT_EQ(moved->payload, c.payload);
    EXPECT_EQ(*at_one.read_u32(), kSentinel);

    // The payload reader alone takes only the stored bytes (3 or 5).
    Reader raw(bytes, 8);
    auto payload = read_replace_object_payload(raw);
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->size(), c.extra ? 5u : 3u);
    EXPECT_EQ(raw.position(), 8 + payload->size());
  }
}

TEST(AnimationHookRead, UnsupportedTypesFailAfterTheTwoWords) {
  struct Case {
    std::uint32_t type;
    const char* message;
  };
  const Case cases[] = {{27, "Unsupported AnimationHook type: 0x0000001B"},
                        {0x100, "Unsupported AnimationHook type: 0x00000100"},
                        {0xFFFFFFFF, "Unsupported AnimationHook type: 0xFFFFFFFF"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    t::ByteWriter out;
    out.u32(0);  // the hook starts at 4: the position is absolute
    t::HookDef def;
    def.type = c.type;
    def.payload.assign(40, 0);
    t::write_hook(out, def);
    Reader reader(out.data(), 4);
    auto hook = AnimationHook::read(reader);
    ASSERT_FALSE(hook);
    EXPECT_EQ(hook.error().kind(), ReadError::Kind::Custom);
    EXPECT_EQ(hook.error().message(), c.message);
    EXPECT_EQ(hook.error().position(), 12u);
    EXPECT_TRUE(hook.error().frames().empty());
  }
}

TEST(AnimationHookRead, MissingPaddingFailsAndMovesToTheEnd) {
  auto def = t::replace_object_hook(1, 0x8001, 2);
  def.pad = false;  // 8 + 5 bytes, 3 bytes of padding missing
  auto bytes = t::encode_hook(def);
  bytes.push_back(0);  // one of the three
  Reader reader(bytes);
  auto hook = AnimationHook::read(reader);
  ASSERT_FALSE(hook);
  EXPECT_EQ(hook.error().to_string(), "failed to fill whole buffer");
  EXPECT_EQ(reader.position(), bytes.size());
}

TEST(AnimationHookRead, EveryPrefixFailsWithTheShortRead) {
  const t::HookDef hooks[] = {t::particle_hook(1, 2), t::replace_object_hook(1, 0x8000, 3),
                               t::replace_object_hook(1, 1), t::sound_table_hook(4)};
  for (const auto& def : hooks) {
    SCOPED_TRACE(def.type);
    EXPECT_EQ(test_support::first_prefix_not_failing_cleanly(t::encode_hook(def), AnimationHook::read),
              std::nullopt);
  }
}

TEST(AnimationFrameRead, ReadsPartFramesThenCountedHooks) {
  t::AnimFrameDef def = t::anim_frame_with(2, {t::hook_of_type(0), t::sound_hook(9),
                                                 t::replace_object_hook(3, 0x8002, 4)});
  def.part_frames[1].origin = {1.0f, -2.0f, 3.0f};
  def.part_frames[1].orientation = {0.0f, 1.0f, 0.0f, 0.0f};
  t::ByteWriter out;
  t::write_anim_frame(out, def);
  out.u32(kSentinel);
  Reader reader(out.data());
  auto frame = AnimationFrame::read(reader, 2);
  ASSERT_TRUE(frame) << frame.error().to_string();
  ASSERT_EQ(frame->part_frames.size(), 2u);
  EXPECT_EQ(frame->part_frames[0], (Frame{{0, 0, 0}, {1, 0, 0, 0}}));
  EXPECT_EQ(frame->part_frames[1], (Frame{{1, -2, 3}, {0, 1, 0, 0}}));
  ASSERT_EQ(frame->hooks.size(), 3u);
  EXPECT_EQ(frame->hooks[0].hook_type, 0u);
  EXPECT_TRUE(frame->hooks[0].payload.empty());
  EXPECT_EQ(frame->hooks[1].payload, (std::vector<std::uint8_t>{9, 0, 0, 0}));
  EXPECT_EQ(frame->hooks[2].payload.size(), 8u);
  EXPECT_EQ(*reader.read_u32(), kSentinel);

  // A bad hook in the middle fails the whole frame with the hook's error.
  def.hooks[1].type = 27;
  out = t::ByteWriter{};
  t::write_anim_frame(out, def);
  Reader bad(out.data());
  auto failed = AnimationFrame::read(bad, 2);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message(), "Unsupported AnimationHook type: 0x0000001B");

  // A huge hook count ends at the data's end without a large allocation.
  out = t::ByteWriter{};
  out.u32(0xFFFFFFFF);
  Reader huge(out.data());
  EXPECT_EQ(AnimationFrame::read(huge, 0).error().message(), "failed to fill whole buffer");
  Reader huge_parts(out.data());
  EXPECT_EQ(AnimationFrame::read(huge_parts, 0xFFFFFFFF).error().message(),
            "failed to fill whole buffer");
}

}  // namespace
}  // namespace ravelin::dat::file_type
