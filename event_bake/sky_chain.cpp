#include "event_bake/sky_chain.h"

#include "common/debug_format.h"
#include "event_bake/debug_render.h"
#include "event_bake/number_format.h"

namespace ravelin::event_bake {

std::string_view debug_name(ScriptSource source) {
  return source == ScriptSource::SkyObject ? "SkyObject" : "SetupModel";
}

std::string_view jsonl_name(ScriptSource source) {
  return source == ScriptSource::SkyObject ? "sky_object" : "setup_model";
}

std::string SkyParticleTrigger::debug_string() const {
  std::string out = "SkyParticleTrigger { day_group_idx: ";
  append_decimal(out, day_group_idx);
  out += ", day_group_name: " + common::debug_quote(day_group_name);
  out += ", day_group_chance: " + format_debug_f32(day_group_chance);
  out += ", active_fraction_start: " + format_debug_f32(active_fraction_start);
  out += ", active_fraction_end: " + format_debug_f32(active_fraction_end);
  out += ", sky_object_idx: ";
  append_decimal(out, sky_object_idx);
  out += ", sky_object_id: ";
  append_decimal(out, sky_object_id);
  out += ", physics_script_id: ";
  append_decimal(out, physics_script_id);
  out += ", physics_script_source: ";
  out += debug_name(physics_script_source);
  out += ", hook_idx: ";
  append_decimal(out, hook_idx);
  out += ", start_time_s: " + format_debug_f64(start_time_s);
  out += ", emitter_id: ";
  append_decimal(out, emitter_id);
  out += ", blocking: ";
  out += debug_bool(blocking);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake
