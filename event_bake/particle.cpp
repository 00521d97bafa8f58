#include "ravelin/event_bake/particle.h"

#include "event_bake/debug_render.h"
#include "ravelin/common/json_text.h"

namespace ravelin::event_bake {

std::string PhysicsScriptParticleTrigger::debug_string() const {
  std::string out = "PhysicsScriptParticleTrigger { default_script_id: ";
  common::append_decimal(out, default_script_id);
  out += ", start_time_s: " + common::format_shortest_f64(start_time_s);
  out += ", emitter_id: ";
  common::append_decimal(out, emitter_id);
  out += ", part_index: ";
  common::append_decimal(out, part_index);
  out += ", blocking: ";
  out += debug_bool(blocking);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake

namespace ravelin::event_bake::particle {
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
