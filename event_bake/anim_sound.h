// Sounds hooked to animation frames of a placed object's motion table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

}  // namespace ravelin::event_bake
