#include "ravelin/dat/file_type/physics_script.h"

#include <gtest/gtest.h>

#include <bit>

#include "dat_writer/animation_encoder.h"
#include "test_support/prefix_check.h"

namespace ravelin::dat::file_type {
namespace {

using common::Reader;
namespace t = ravelin::dat_writer;

TEST(PhysicsScriptRead, KeepsEveryEntryInFileOrderWithExactStartTimes) {
  const auto def = t::physics_script_of(
      0x33000ABC, {{0.0, t::particle_hook(0x32000001, 2)},
                   {t::F64::from_bits(0x8000000000000000), t::replace_object_hook(9, 0x0001)},
                   {-1.5, t::particle_hook(0x32000003, 4, true)},
                   {t::F64::from_bits(0x7FF8000000000001), t::sound_hook(7)}});
  const auto bytes = t::encode_physics_script(def);
  Reader reader(bytes);
  auto s = PhysicsScript::read(reader);
  ASSERT_TRUE(s) << s.error().to_string();
  EXPECT_EQ(reader.position(), bytes.size());
  EXPECT_EQ(s->id, 0x33000ABCu);
  ASSERT_EQ(s->script_data.size(), 4u);
  const std::uint64_t times[] = {0, 0x8000000000000000, std::bit_cast<std::uint64_t>(-1.5),
                                 0x7FF8000000000001};
  const std::uint32_t types[] = {13, 5, 26, 1};
  const std::size_t sizes[] = {40, 4, 40, 4};
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(s->script_data[i].start_time), times[i]);
    EXPECT_EQ(s->script_data[i].hook.hook_type, types[i]);
    EXPECT_EQ(s->script_data[i].hook.payload.size(), sizes[i]);
  }
  EXPECT_EQ(s->script_data[2].hook.payload[0], 0x03);
  EXPECT_EQ(s->script_data[2].hook.payload[4], 0x04);
}

TEST(PhysicsScriptRead, EntrySizesFollowTheHookPadding) {
  struct Case {
    t::HookDef hook;
    std::size_t size;
  };
  const Case cases[] = {{t::hook_of_type(0), 8 + 8 + 8},
                        {t::replace_object_hook(1, 0x0001), 8 + 8 + 8 + 4},
                        {t::replace_object_hook(1, 0x8001, 5), 8 + 8 + 8 + 8},
                        {t::particle_hook(1, 1), 8 + 8 + 8 + 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hook.type);
    const auto bytes = t::encode_physics_script(t::physics_script_of(1, {{0.25, c.hook}}));
    ASSERT_EQ(bytes.size(), c.size);
    Reader reader(bytes);
    auto s = PhysicsScript::read(reader);
    ASSERT_TRUE(s) << s.error().to_string();
    EXPECT_EQ(reader.position(), c.size);
  }
}

TEST(PhysicsScriptRead, EmptyScriptIsEightBytes) {
  const auto bytes = t::encode_physics_script(t::physics_script_of(0x33000001, {}));
  ASSERT_EQ(bytes.size(), 8u);
  Reader reader(bytes);
  auto s = PhysicsScript::read(reader);
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->script_data.empty());
}

TEST(PhysicsScriptRead, FailuresFailTheWholeScript) {
  t::HookDef bad;
  bad.type = 0xFFFFFFFF;
  const auto bytes = t::encode_physics_script(
      t::physics_script_of(0x33000001, {{1.0, t::sound_hook(1)}, {2.0, bad}}));
  Reader reader(bytes);
  auto s = PhysicsScript::read(reader);
  ASSERT_FALSE(s);
  // 8 header + 20 first entry + 8 start time + 8 hook words.
  EXPECT_EQ(s.error().to_string(), "Unsupported AnimationHook type: 0xFFFFFFFF at 0x2c");

  EXPECT_EQ(test_support::first_prefix_not_failing_cleanly(
                t::encode_physics_script(t::physics_script_of(
                    1, {{0.5, t::particle_hook(1, 2)}, {1.0, t::replace_object_hook(1, 0x8000, 0)}})),
                PhysicsScript::read),
            std::nullopt);

  t::ByteWriter huge;
  huge.u32(0x33000001).u32(0xFFFFFFFF).zeros(12);
  Reader huge_reader(huge.data());
  EXPECT_EQ(PhysicsScript::read(huge_reader).error().message(), "failed to fill whole buffer");
}

}  // namespace
}  // namespace ravelin::dat::file_type
