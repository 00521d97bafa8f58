#include "ravelin/event_bake/particle.h"

#include "ravelin/common/reader.h"
#include "ravelin/event_bake/debug_render.h"
#include "ravelin/event_bake/number_format.h"

namespace ravelin::event_bake {

std::string PhysicsScriptParticleTrigger::debug_string() const {
  std::string out = "PhysicsScriptParticleTrigger { default_script_id: ";
  append_decimal(out, default_script_id);
  out += ", start_time_s: " + format_debug_f64(start_time_s);
  out += ", emitter_id: ";
  append_decimal(out, emitter_id);
  out += ", part_index: ";
  append_decimal(out, part_index);
  out += ", blocking: ";
  out += debug_bool(blocking);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake

namespace ravelin::event_bake::particle {
std::optional<ParticleHookFields> particle_hook_fields(const dat::file_type::AnimationHook& hook) {
  if (hook.hook_type != kCreateParticleHook && hook.hook_type != kCreateBlockingParticleHook)
    return std::nullopt;
  if (hook.payload.size() < 8) return std::nullopt;
  return ParticleHookFields{common::le_u32_at(hook.payload, 0), common::le_u32_at(hook.payload, 4),
                            hook.hook_type == kCreateBlockingParticleHook};
}

std::vector<PhysicsScriptParticleTrigger> bake_particle_manifest(
    std::uint32_t default_script_id, const dat::file_type::PhysicsScript& script) {
  std::vector<PhysicsScriptParticleTrigger> triggers;
  for (const auto& entry : script.script_data) {
    const auto fields = particle_hook_fields(entry.hook);
    if (!fields) continue;
    triggers.push_back(
        {default_script_id, entry.start_time, fields->emitter_id, fields->part_index, fields->blocking});
  }
  return triggers;
}

}  // namespace ravelin::event_bake::particle
