// Sounds hooked to animation frames of a placed object's motion table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ravelin/common/id_map.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/hook_fields.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/setup_model.h"

namespace ravelin::event_bake {

// One sound hook of one animation reached through a motion table entry.
struct AnimSoundTrigger {
  std::uint32_t csetup_id = 0;
  std::uint32_t motion_table_id = 0;
  std::uint32_t motion_key = 0;
  std::uint8_t motion_kind = 0;
  std::optional<std::uint32_t> link_outer_key;
  bool is_default_stance = false;
  std::uint32_t animation_did = 0;
  std::uint32_t hook_frame = 0;
  std::uint32_t hook_type = 0;
  std::uint32_t sound_id = 0;
  float priority = 0;
  float probability = 0;
  float volume = 0;

  // Field by field; floats numerically, optionals equal when both absent or
  // both present with equal values.
  bool operator==(const AnimSoundTrigger&) const = default;
  // AnimSoundTrigger { csetup_id: 33554433, ..., link_outer_key: None, ... }
  std::string debug_string() const;
};

namespace anim_sound {

// Hook types that play a sound: 1 carries a sound id, 21 a sound id with
// priority, probability and volume.
using dat::file_type::kSoundHook;
using dat::file_type::kSoundTableHook;

// Motion-data kinds, the `motion_kind` of a record.
inline constexpr std::uint8_t kMotionData0 = 0;
inline constexpr std::uint8_t kMotionData1 = 1;
inline constexpr std::uint8_t kLinks = 2;

// Per-bake cache from animation file id to its decoded animation; an empty
// optional records a file that could not be fetched or decoded. Only looked up.
using AnimationCache = common::IdMap<std::uint32_t, std::optional<dat::file_type::Animation>>;

// The fields that every record of one motion-data entry shares.
struct MotionEntry {
  std::uint32_t csetup_id = 0;
  std::uint32_t motion_table_id = 0;
  std::uint32_t motion_key = 0;
  std::uint8_t motion_kind = 0;
  std::optional<std::uint32_t> link_outer_key;
  bool is_default_stance = false;
};

// True when the upper half of `motion_key` equals the whole `default_stance`
// (so a stance above 0xFFFF never matches).
constexpr bool is_default_stance(std::uint32_t motion_key, std::uint32_t default_stance) {
  return (motion_key >> 16) == default_stance;
}

// Appends one record per sound hook (type 21 with at least 16 payload bytes,
// type 1 with at least 4) of every frame that each AnimRef of `anims` covers, in
// AnimRef order, frame order, hook order. The range runs from start_frame
// (0 when not positive) to end_frame (the last frame when negative or past the
// end) inclusive; an AnimRef whose animation is not cached with a value, has no
// frames or whose range is inverted adds nothing.
void enumerate_motion_data(const MotionEntry& entry, const std::vector<dat::file_type::AnimRef>& anims,
                           const AnimationCache& animation_cache, std::vector<AnimSoundTrigger>& out);

// Every sound hook reachable through `motion_table`: motion_data_0, then
// motion_data_1, then links (outer then inner keys), keys ascending, then
// stably sorted by (motion_key, animation_did, hook_frame, hook_type). Nothing
// is removed. `setup_id` is the id the setup was fetched under; the setup itself
// is not read.
std::vector<AnimSoundTrigger> bake_anim_sound_manifest(std::uint32_t setup_id,
                                                       const dat::file_type::SetupModel& setup,
                                                       const dat::file_type::MotionTable& motion_table,
                                                       const AnimationCache& animation_cache);

// The animation ids of every AnimRef of the table's three maps, ascending,
// each once: what the cache must hold before bake_anim_sound_manifest runs.
std::vector<std::uint32_t> referenced_animation_ids(const dat::file_type::MotionTable& motion_table);

}  // namespace anim_sound

}  // namespace ravelin::event_bake
