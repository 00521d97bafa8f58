#include "event_bake/event_order.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace ravelin::event_bake {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

AnimSoundTrigger anim(std::uint32_t setup, std::uint32_t key, std::uint32_t frame, std::uint32_t type,
                      std::uint32_t sound_id, float volume = 1.0f) {
  AnimSoundTrigger r;
  r.csetup_id = setup;
  r.motion_table_id = 0x09000001;
  r.motion_key = key;
  r.animation_did = 0x03000001;
  r.hook_frame = frame;
  r.hook_type = type;
  r.sound_id = sound_id;
  r.probability = 1.0f;
  r.volume = volume;
  return r;
}

TEST(AnimSoundOrder, SortsBySetupThenKeysAndKeepsEqualKeysInArrivalOrder) {
  std::vector<AnimSoundTrigger> events = {anim(2, 1, 0, 1, 10), anim(1, 5, 0, 1, 11), anim(1, 1, 3, 21, 12),
                                          anim(1, 1, 3, 1, 13), anim(1, 1, 3, 1, 14)};
  order_anim_sound_events(events);
  std::vector<std::uint32_t> order;
  for (const auto& e : events) order.push_back(e.sound_id);
  EXPECT_EQ(order, (std::vector<std::uint32_t>{13, 14, 12, 11, 10}));
}

TEST(AnimSoundOrder, RepeatsGoEvenWhenNotNeighbours) {
  // Two hooks of one type in one frame reached by two overlapping ranges: a, b,
  // a, b under one sort key. Only the first a and b stay.
  const AnimSoundTrigger a = anim(1, 1, 0, 1, 100);
  const AnimSoundTrigger b = anim(1, 1, 0, 1, 200);
  AnimSoundTrigger a_negative_zero = a;
  a_negative_zero.priority = -0.0f;  // equal to a's 0.0
  AnimSoundTrigger other_kind = a;
  other_kind.motion_kind = 1;  // differs outside the sort key: stays
  std::vector<AnimSoundTrigger> events = {a, b, a, b, a_negative_zero, other_kind};
  order_anim_sound_events(events);
  EXPECT_EQ(events, (std::vector<AnimSoundTrigger>{a, b, other_kind}));
}

TEST(AnimSoundOrder, RecordsHoldingNaNAlwaysStay) {
  const AnimSoundTrigger n = anim(1, 1, 0, 1, 100, kNaN);
  std::vector<AnimSoundTrigger> events = {n, n, n};
  order_anim_sound_events(events);
  EXPECT_EQ(events.size(), 3u);
}

TEST(ParticleOrder, SortKeysInTheirPrecedence) {
  using P = PhysicsScriptParticleTrigger;
  std::vector<P> events = {
      {0x33000002, 0.0, 0x32000001, 0, false},  // later script
      {0x33000001, 0.0, 0x32000009, 0, false},  // larger emitter, earlier time
      {0x33000001, -1.0, 0x32000001, 0, false},  // negative sorts after every positive
      {0x33000001, 1.0, 0x32000001, 0, false},
      {0x33000001, 0.5, 0x32000001, 1, true},
      {0x33000001, 0.5, 0x32000001, 1, false},
      {0x33000001, 0.5, 0x32000001, 0, true},
  };
  order_particle_events(events);
  const std::vector<P> expected = {
      {0x33000001, 0.5, 0x32000001, 0, true},  {0x33000001, 0.5, 0x32000001, 1, false},
      {0x33000001, 0.5, 0x32000001, 1, true},  {0x33000001, 1.0, 0x32000001, 0, false},
      {0x33000001, -1.0, 0x32000001, 0, false}, {0x33000001, 0.0, 0x32000009, 0, false},
      {0x33000002, 0.0, 0x32000001, 0, false},
  };
  EXPECT_EQ(events, expected);
}

TEST(ParticleOrder, RepeatsAcrossSetupsAndSignedZeroCollapse) {
  using P = PhysicsScriptParticleTrigger;
  // 0.0 and -0.0 sort apart by bit pattern (with 2.0 between them) but are equal.
  std::vector<P> events = {{0x33000001, -0.0, 0x32000001, 0, false}, {0x33000001, 2.0, 0x32000001, 0, false},
                           {0x33000001, 0.0, 0x32000001, 0, false},  {0x33000001, 2.0, 0x32000001, 0, false},
                           {0x33000001, std::numeric_limits<double>::quiet_NaN(), 0x32000001, 0, false},
                           {0x33000001, std::numeric_limits<double>::quiet_NaN(), 0x32000001, 0, false}};
  order_particle_events(events);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(events[0].start_time_s), 0u);  // the +0.0 record comes first and stays
  EXPECT_EQ(events[1].start_time_s, 2.0);
  EXPECT_TRUE(std::isnan(events[2].start_time_s));
  EXPECT_TRUE(std::isnan(events[3].start_time_s));
}

}  // namespace
}  // namespace ravelin::event_bake
