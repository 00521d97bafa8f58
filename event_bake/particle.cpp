#include "event_bake/particle.h"

#include "event_bake/debug_render.h"
#include "event_bake/number_format.h"

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
