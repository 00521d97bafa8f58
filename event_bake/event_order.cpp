#include "event_bake/event_order.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <tuple>

namespace ravelin::event_bake {
namespace {

// Bit pattern under which numerically equal floats coincide (-0.0 becomes 0.0);
// nothing for a NaN, which equals no value.
std::optional<std::uint32_t> equality_bits(float value) {
  if (std::isnan(value)) return std::nullopt;
  return std::bit_cast<std::uint32_t>(value == 0.0f ? 0.0f : value);
}
std::optional<std::uint64_t> equality_bits(double value) {
  if (std::isnan(value)) return std::nullopt;
  return std::bit_cast<std::uint64_t>(value == 0.0 ? 0.0 : value);
}

using AnimSoundKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t,
                                std::optional<std::uint32_t>, bool, std::uint32_t, std::uint32_t,
                                std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;

std::optional<AnimSoundKey> equality_key(const AnimSoundTrigger& e) {
  const auto priority = equality_bits(e.priority);
  const auto probability = equality_bits(e.probability);
  const auto volume = equality_bits(e.volume);
  if (!priority || !probability || !volume) return std::nullopt;
  return AnimSoundKey{e.csetup_id,   e.motion_table_id, e.motion_key, e.motion_kind, e.link_outer_key,
                      e.is_default_stance, e.animation_did, e.hook_frame, e.hook_type, e.sound_id,
                      *priority,     *probability,      *volume};
}

using ParticleKey = std::tuple<std::uint32_t, std::uint64_t, std::uint32_t, std::uint32_t, bool>;

std::optional<ParticleKey> equality_key(const PhysicsScriptParticleTrigger& e) {
  const auto time = equality_bits(e.start_time_s);
  if (!time) return std::nullopt;
  return ParticleKey{e.default_script_id, *time, e.emitter_id, e.part_index, e.blocking};
}

// Keeps the first of every group of equal records, wherever its repeats stand.
// Comparing neighbours only is not enough: overlapping frame ranges of one
// motion entry produce a, b, a, b under one sort key, and start times 0.0 and
// -0.0 are equal but sort apart by bit pattern. A record with a NaN never
// equals anything and always stays.
template <class Record>
void drop_repeats(std::vector<Record>& events) {
  using Key = typename decltype(equality_key(events.front()))::value_type;
  std::set<Key> seen;
  std::vector<Record> kept;
  kept.reserve(events.size());
  for (Record& record : events) {
    const auto key = equality_key(record);
    if (key && !seen.insert(*key).second) continue;
    kept.push_back(std::move(record));
  }
  events = std::move(kept);
}

}  // namespace

void order_anim_sound_events(std::vector<AnimSoundTrigger>& events) {
  std::stable_sort(events.begin(), events.end(), [](const AnimSoundTrigger& a, const AnimSoundTrigger& b) {
    return std::tie(a.csetup_id, a.motion_key, a.animation_did, a.hook_frame, a.hook_type) <
           std::tie(b.csetup_id, b.motion_key, b.animation_did, b.hook_frame, b.hook_type);
  });
  if (!events.empty()) drop_repeats(events);
}

void order_particle_events(std::vector<PhysicsScriptParticleTrigger>& events) {
  const auto key = [](const PhysicsScriptParticleTrigger& e) {
    return std::make_tuple(e.default_script_id, e.emitter_id, std::bit_cast<std::uint64_t>(e.start_time_s),
                           e.part_index, e.blocking);
  };
  std::stable_sort(events.begin(), events.end(),
                   [&key](const PhysicsScriptParticleTrigger& a, const PhysicsScriptParticleTrigger& b) {
                     return key(a) < key(b);
                   });
  if (!events.empty()) drop_repeats(events);
}

}  // namespace ravelin::event_bake
