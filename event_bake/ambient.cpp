#include "ravelin/event_bake/ambient.h"

#include <map>
#include <utility>

#include "event_bake/debug_render.h"
#include "ravelin/common/json_text.h"

namespace ravelin::event_bake {

std::string AmbientSoundRecord::debug_string() const {
  std::string out = "AmbientSoundRecord { s_type: ";
  common::append_decimal(out, s_type);
  out += ", volume: " + common::format_shortest_f32(volume);
  out += ", base_chance: " + common::format_shortest_f32(base_chance);
  out += ", min_rate: " + common::format_shortest_f32(min_rate);
  out += ", max_rate: " + common::format_shortest_f32(max_rate);
  out += ", continuous: ";
  out += debug_bool(continuous);
  out += " }";
  return out;
}

std::string AmbientTrigger::debug_string() const {
  std::string out = "AmbientTrigger { terrain_type: ";
  common::append_decimal(out, terrain_type);
  out += ", scene_type: ";
  common::append_decimal(out, scene_type);
  out += ", scene_info_idx: ";
  common::append_decimal(out, scene_info_idx);
  out += ", stb_index: ";
  common::append_decimal(out, stb_index);
  out += ", stb_id: ";
  common::append_decimal(out, stb_id);
  out += ", vertex_indices: ";
  append_debug_list(out, vertex_indices, [](std::string& o, std::uint32_t v) { common::append_decimal(o, v); });
  out += ", ambient_sounds: ";
  append_debug_list(out, ambient_sounds,
                    [](std::string& o, const AmbientSoundRecord& s) { o += s.debug_string(); });
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake

namespace ravelin::event_bake::ambient {
namespace {

using GroupKey = std::pair<std::uint32_t, std::uint32_t>;  // (terrain type, scene type)

// The sound table a group's chain ends in, or null when a link leaves its table.
const dat::file_type::AmbientSTBDesc* resolve_sound_table(const dat::file_type::Region& region,
                                                          GroupKey key, std::uint32_t& scene_info_idx,
                                                          std::int32_t& stb_index) {
  const auto& terrain_types = region.terrain.terrain_types;
  if (key.first >= terrain_types.size()) return nullptr;
  const auto& scene_info_indices = terrain_types[key.first].scene_info_indices;
  if (key.second >= scene_info_indices.size()) return nullptr;
  scene_info_idx = scene_info_indices[key.second];
  const auto& scene_types = region.scene->scene_types;
  if (scene_info_idx >= scene_types.size()) return nullptr;
  stb_index = scene_types[scene_info_idx].stb_index;
  const auto& stb_descs = region.sound->stb_descs;
  if (stb_index < 0 || static_cast<std::uint32_t>(stb_index) >= stb_descs.size()) return nullptr;
  return &stb_descs[static_cast<std::size_t>(stb_index)];
}

AmbientSoundRecord sound_record(const dat::file_type::AmbientSound& sound) {
  // A zero chance (either sign) marks a sound that plays all the time.
  return {sound.s_type,   sound.volume,   sound.base_chance,
          sound.min_rate, sound.max_rate, sound.base_chance == 0.0f};
}

}  // namespace

std::vector<AmbientTrigger> bake_ambient_manifest(const dat::file_type::Region& region,
                                                  const dat::CellLandblock& cell_landblock,
                                                  std::uint32_t /*landblock_id*/) {
  std::vector<AmbientTrigger> triggers;
  if (!region.scene || !region.sound) return triggers;

  std::map<GroupKey, std::vector<std::uint32_t>> groups;
  for (std::uint32_t n = 0; n < cell_landblock.terrain.size(); ++n) {
    const std::uint16_t word = cell_landblock.terrain[n];
    groups[{dat::terrain_type(word), dat::scene_type(word)}].push_back(n);
  }

  for (auto& [key, vertices] : groups) {
    std::uint32_t scene_info_idx = 0;
    std::int32_t stb_index = 0;
    const auto* table = resolve_sound_table(region, key, scene_info_idx, stb_index);
    if (table == nullptr) continue;
    AmbientTrigger trigger;
    trigger.terrain_type = key.first;
    trigger.scene_type = key.second;
    trigger.scene_info_idx = scene_info_idx;
    trigger.stb_index = static_cast<std::uint32_t>(stb_index);
    trigger.stb_id = table->stb_id;
    trigger.vertex_indices = std::move(vertices);
    trigger.ambient_sounds.reserve(table->ambient_sounds.size());
    for (const auto& sound : table->ambient_sounds) trigger.ambient_sounds.push_back(sound_record(sound));
    triggers.push_back(std::move(trigger));
  }
  return triggers;
}

}  // namespace ravelin::event_bake::ambient
