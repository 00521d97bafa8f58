#include "event_bake/ambient.h"

#include "event_bake/debug_render.h"
#include "event_bake/number_format.h"

namespace ravelin::event_bake {

std::string AmbientSoundRecord::debug_string() const {
  std::string out = "AmbientSoundRecord { s_type: ";
  append_decimal(out, s_type);
  out += ", volume: " + format_debug_f32(volume);
  out += ", base_chance: " + format_debug_f32(base_chance);
  out += ", min_rate: " + format_debug_f32(min_rate);
  out += ", max_rate: " + format_debug_f32(max_rate);
  out += ", continuous: ";
  out += debug_bool(continuous);
  out += " }";
  return out;
}

std::string AmbientTrigger::debug_string() const {
  std::string out = "AmbientTrigger { terrain_type: ";
  append_decimal(out, terrain_type);
  out += ", scene_type: ";
  append_decimal(out, scene_type);
  out += ", scene_info_idx: ";
  append_decimal(out, scene_info_idx);
  out += ", stb_index: ";
  append_decimal(out, stb_index);
  out += ", stb_id: ";
  append_decimal(out, stb_id);
  out += ", vertex_indices: ";
  append_debug_list(out, vertex_indices, [](std::string& o, std::uint32_t v) { append_decimal(o, v); });
  out += ", ambient_sounds: ";
  append_debug_list(out, ambient_sounds,
                    [](std::string& o, const AmbientSoundRecord& s) { o += s.debug_string(); });
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake
