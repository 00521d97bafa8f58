#include "ravelin/dat/file_type/hook_fields.h"

#include "ravelin/common/reader.h"

namespace ravelin::dat::file_type {

std::optional<ParticleHookFields> particle_hook_fields(const AnimationHook& hook) {
  if (hook.hook_type != kCreateParticleHook && hook.hook_type != kCreateBlockingParticleHook)
    return std::nullopt;
  if (hook.payload.size() < 8) return std::nullopt;
  return ParticleHookFields{common::le_u32_at(hook.payload, 0), common::le_u32_at(hook.payload, 4),
                            hook.hook_type == kCreateBlockingParticleHook};
}

std::optional<SoundHookFields> sound_hook_fields(const AnimationHook& hook) {
  const auto& p = hook.payload;
  if (hook.hook_type == kSoundTableHook && p.size() >= 16)
    return SoundHookFields{common::le_u32_at(p, 0), common::le_f32_at(p, 4), common::le_f32_at(p, 8),
                           common::le_f32_at(p, 12)};
  if (hook.hook_type == kSoundHook && p.size() >= 4) return SoundHookFields{common::le_u32_at(p, 0), 0.0f, 1.0f, 1.0f};
  return std::nullopt;
}

}  // namespace ravelin::dat::file_type
