#include "event_bake/anim_sound.h"

#include "event_bake/debug_render.h"
#include "event_bake/number_format.h"

namespace ravelin::event_bake {

std::string AnimSoundTrigger::debug_string() const {
  std::string out = "AnimSoundTrigger { csetup_id: ";
  append_decimal(out, csetup_id);
  out += ", motion_table_id: ";
  append_decimal(out, motion_table_id);
  out += ", motion_key: ";
  append_decimal(out, motion_key);
  out += ", motion_kind: ";
  append_decimal(out, motion_kind);
  out += ", link_outer_key: ";
  if (link_outer_key) {
    out += "Some(";
    append_decimal(out, *link_outer_key);
    out += ')';
  } else {
    out += "None";
  }
  out += ", is_default_stance: ";
  out += debug_bool(is_default_stance);
  out += ", animation_did: ";
  append_decimal(out, animation_did);
  out += ", hook_frame: ";
  append_decimal(out, hook_frame);
  out += ", hook_type: ";
  append_decimal(out, hook_type);
  out += ", sound_id: ";
  append_decimal(out, sound_id);
  out += ", priority: " + format_debug_f32(priority);
  out += ", probability: " + format_debug_f32(probability);
  out += ", volume: " + format_debug_f32(volume);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake
