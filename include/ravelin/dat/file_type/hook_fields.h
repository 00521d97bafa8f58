// The payload fields of the hooks the bake reads: particle emitters (types 13
// and 26) and sounds (types 1 and 21). Every other hook payload stays opaque.
#pragma once

#include <cstdint>
#include <optional>

#include "ravelin/dat/file_type/setup_model.h"

namespace ravelin::dat::file_type {

// Hook types that start a particle emitter; 26 emits blocking.
inline constexpr std::uint32_t kCreateParticleHook = 13;
inline constexpr std::uint32_t kCreateBlockingParticleHook = 26;
// Hook types that play a sound: 1 carries a sound id, 21 a sound id with
// priority, probability and volume.
inline constexpr std::uint32_t kSoundHook = 1;
inline constexpr std::uint32_t kSoundTableHook = 21;

// Emitter id (payload bytes 0-3) and part index (bytes 4-7) of a particle hook.
struct ParticleHookFields {
  std::uint32_t emitter_id = 0;
  std::uint32_t part_index = 0;
  bool blocking = false;

  bool operator==(const ParticleHookFields&) const = default;
};

// The fields of a type-13 or type-26 hook whose payload holds at least 8
// bytes; nothing for any other hook.
std::optional<ParticleHookFields> particle_hook_fields(const AnimationHook& hook);

// The sound of a hook: a type-21 hook's id and three floats (payload bytes 0-15,
// taken bit for bit), or a type-1 hook's id (bytes 0-3) at priority 0,
// probability 1 and volume 1.
struct SoundHookFields {
  std::uint32_t sound_id = 0;
  float priority = 0;
  float probability = 0;
  float volume = 0;
};

// The fields of a type-21 hook with at least 16 payload bytes or a type-1 hook
// with at least 4; nothing for any other hook.
std::optional<SoundHookFields> sound_hook_fields(const AnimationHook& hook);

}  // namespace ravelin::dat::file_type
