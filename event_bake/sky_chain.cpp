#include "ravelin/event_bake/sky_chain.h"

#include "common/debug_format.h"
#include "event_bake/debug_render.h"
#include "ravelin/common/json_text.h"
#include "ravelin/event_bake/particle.h"

namespace ravelin::event_bake {

std::string_view debug_name(ScriptSource source) {
  return source == ScriptSource::SkyObject ? "SkyObject" : "SetupModel";
}

std::string_view jsonl_name(ScriptSource source) {
  return source == ScriptSource::SkyObject ? "sky_object" : "setup_model";
}

std::string SkyParticleTrigger::debug_string() const {
  std::string out = "SkyParticleTrigger { day_group_idx: ";
  common::append_decimal(out, day_group_idx);
  out += ", day_group_name: " + common::debug_quote(day_group_name);
  out += ", day_group_chance: " + common::format_shortest_f32(day_group_chance);
  out += ", active_fraction_start: " + common::format_shortest_f32(active_fraction_start);
  out += ", active_fraction_end: " + common::format_shortest_f32(active_fraction_end);
  out += ", sky_object_idx: ";
  common::append_decimal(out, sky_object_idx);
  out += ", sky_object_id: ";
  common::append_decimal(out, sky_object_id);
  out += ", physics_script_id: ";
  common::append_decimal(out, physics_script_id);
  out += ", physics_script_source: ";
  out += debug_name(physics_script_source);
  out += ", hook_idx: ";
  common::append_decimal(out, hook_idx);
  out += ", start_time_s: " + common::format_shortest_f64(start_time_s);
  out += ", emitter_id: ";
  common::append_decimal(out, emitter_id);
  out += ", blocking: ";
  out += debug_bool(blocking);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake

namespace ravelin::event_bake::sky_chain {
namespace {

struct ScriptChoice {
  std::uint32_t script_id = 0;
  ScriptSource source = ScriptSource::SkyObject;
};

// Which script a sky object runs, or nothing when its chain leaves the id
// ranges or its setup model is not available.
std::optional<ScriptChoice> choose_script(const dat::file_type::SkyObject& object,
                                          const SetupCache& setup_cache) {
  if (object.script_id != 0) {
    if (!is_physics_script_id(object.script_id)) return std::nullopt;
    return ScriptChoice{object.script_id, ScriptSource::SkyObject};
  }
  if (!is_setup_model_id(object.object_id)) return std::nullopt;
  const auto* cached = setup_cache.find(object.object_id);
  if (cached == nullptr || !cached->has_value()) return std::nullopt;
  const auto& default_script = (*cached)->default_script_id;
  if (!default_script || !is_physics_script_id(*default_script)) return std::nullopt;
  return ScriptChoice{*default_script, ScriptSource::SetupModel};
}

}  // namespace

std::vector<SkyParticleTrigger> enumerate_sky_particle_chain(const dat::file_type::Region& region,
                                                             const ScriptCache& script_cache,
                                                             const SetupCache& setup_cache) {
  std::vector<SkyParticleTrigger> triggers;
  if (!region.sky) return triggers;
  const auto& day_groups = region.sky->day_groups;
  for (std::uint32_t g = 0; g < day_groups.size(); ++g) {
    const auto& group = day_groups[g];
    for (std::uint32_t k = 0; k < group.sky_objects.size(); ++k) {
      const auto& object = group.sky_objects[k];
      const auto choice = choose_script(object, setup_cache);
      if (!choice) continue;
      const auto* cached = script_cache.find(choice->script_id);
      if (cached == nullptr || !cached->has_value()) continue;
      const auto& entries = (*cached)->script_data;
      for (std::uint32_t h = 0; h < entries.size(); ++h) {
        const auto fields = particle::particle_hook_fields(entries[h].hook);
        if (!fields) continue;
        SkyParticleTrigger trigger;
        trigger.day_group_idx = g;
        trigger.day_group_name = group.name;
        trigger.day_group_chance = group.chance;
        trigger.active_fraction_start = object.active_start;
        trigger.active_fraction_end = object.active_end;
        trigger.sky_object_idx = k;
        trigger.sky_object_id = object.object_id;
        trigger.physics_script_id = choice->script_id;
        trigger.physics_script_source = choice->source;
        trigger.hook_idx = h;
        trigger.start_time_s = entries[h].start_time;
        trigger.emitter_id = fields->emitter_id;
        trigger.blocking = fields->blocking;
        triggers.push_back(std::move(trigger));
      }
    }
  }
  return triggers;
}

}  // namespace ravelin::event_bake::sky_chain
