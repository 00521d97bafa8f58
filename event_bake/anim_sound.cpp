#include "ravelin/event_bake/anim_sound.h"

#include <algorithm>
#include <tuple>

#include "ravelin/common/reader.h"
#include "ravelin/common/sorted_ids.h"
#include "event_bake/debug_render.h"
#include "ravelin/common/json_text.h"

namespace ravelin::event_bake {

std::string AnimSoundTrigger::debug_string() const {
  std::string out = "AnimSoundTrigger { csetup_id: ";
  common::append_decimal(out, csetup_id);
  out += ", motion_table_id: ";
  common::append_decimal(out, motion_table_id);
  out += ", motion_key: ";
  common::append_decimal(out, motion_key);
  out += ", motion_kind: ";
  common::append_decimal(out, motion_kind);
  out += ", link_outer_key: ";
  if (link_outer_key) {
    out += "Some(";
    common::append_decimal(out, *link_outer_key);
    out += ')';
  } else {
    out += "None";
  }
  out += ", is_default_stance: ";
  out += debug_bool(is_default_stance);
  out += ", animation_did: ";
  common::append_decimal(out, animation_did);
  out += ", hook_frame: ";
  common::append_decimal(out, hook_frame);
  out += ", hook_type: ";
  common::append_decimal(out, hook_type);
  out += ", sound_id: ";
  common::append_decimal(out, sound_id);
  out += ", priority: " + common::format_shortest_f32(priority);
  out += ", probability: " + common::format_shortest_f32(probability);
  out += ", volume: " + common::format_shortest_f32(volume);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake

namespace ravelin::event_bake::anim_sound {
namespace {

using dat::file_type::MotionDataMap;

// The record of one hook, or nothing for hooks that play no sound.
std::optional<AnimSoundTrigger> sound_record(const MotionEntry& entry, std::uint32_t animation_did,
                                             std::uint32_t frame, const dat::file_type::AnimationHook& hook) {
  const auto sound = dat::file_type::sound_hook_fields(hook);
  if (!sound) return std::nullopt;
  AnimSoundTrigger record;
  record.sound_id = sound->sound_id;
  record.priority = sound->priority;
  record.probability = sound->probability;
  record.volume = sound->volume;
  record.csetup_id = entry.csetup_id;
  record.motion_table_id = entry.motion_table_id;
  record.motion_key = entry.motion_key;
  record.motion_kind = entry.motion_kind;
  record.link_outer_key = entry.link_outer_key;
  record.is_default_stance = entry.is_default_stance;
  record.animation_did = animation_did;
  record.hook_frame = frame;
  record.hook_type = hook.hook_type;
  return record;
}

void enumerate_map(MotionEntry entry, const MotionDataMap& map, std::uint32_t default_stance,
                   const AnimationCache& animation_cache, std::vector<AnimSoundTrigger>& out) {
  for (const std::uint32_t key : map.sorted_keys()) {
    entry.motion_key = key;
    entry.is_default_stance = is_default_stance(key, default_stance);
    enumerate_motion_data(entry, map.find(key)->anims, animation_cache, out);
  }
}

void collect_ids(const MotionDataMap& map, std::vector<std::uint32_t>& ids) {
  for (const std::uint32_t key : map.sorted_keys())
    for (const auto& ref : map.find(key)->anims) ids.push_back(ref.anim_id);
}

}  // namespace

void enumerate_motion_data(const MotionEntry& entry, const std::vector<dat::file_type::AnimRef>& anims,
                           const AnimationCache& animation_cache, std::vector<AnimSoundTrigger>& out) {
  for (const auto& ref : anims) {
    const auto* cached = animation_cache.find(ref.anim_id);
    if (cached == nullptr || !cached->has_value()) continue;
    const dat::file_type::Animation& animation = **cached;
    const auto frame_count = static_cast<std::int64_t>(animation.frames.size());
    if (frame_count == 0) continue;
    const std::int64_t first = ref.start_frame > 0 ? ref.start_frame : 0;
    const std::int64_t last = ref.end_frame >= 0 && ref.end_frame < frame_count ? ref.end_frame : frame_count - 1;
    for (std::int64_t i = first; i <= last; ++i) {
      const auto frame = static_cast<std::uint32_t>(i);
      for (const auto& hook : animation.frames[static_cast<std::size_t>(i)].hooks) {
        if (auto record = sound_record(entry, animation.id, frame, hook)) out.push_back(std::move(*record));
      }
    }
  }
}

std::vector<AnimSoundTrigger> bake_anim_sound_manifest(std::uint32_t setup_id,
                                                       const dat::file_type::SetupModel& /*setup*/,
                                                       const dat::file_type::MotionTable& motion_table,
                                                       const AnimationCache& animation_cache) {
  std::vector<AnimSoundTrigger> records;
  MotionEntry entry;
  entry.csetup_id = setup_id;
  entry.motion_table_id = motion_table.id;
  const std::uint32_t stance = motion_table.default_stance;

  entry.motion_kind = kMotionData0;
  enumerate_map(entry, motion_table.motion_data_0, stance, animation_cache, records);
  entry.motion_kind = kMotionData1;
  enumerate_map(entry, motion_table.motion_data_1, stance, animation_cache, records);
  entry.motion_kind = kLinks;
  for (const std::uint32_t outer : motion_table.links.sorted_keys()) {
    entry.link_outer_key = outer;
    enumerate_map(entry, *motion_table.links.find(outer), stance, animation_cache, records);
  }

  std::stable_sort(records.begin(), records.end(), [](const AnimSoundTrigger& a, const AnimSoundTrigger& b) {
    return std::tie(a.motion_key, a.animation_did, a.hook_frame, a.hook_type) <
           std::tie(b.motion_key, b.animation_did, b.hook_frame, b.hook_type);
  });
  return records;
}

std::vector<std::uint32_t> referenced_animation_ids(const dat::file_type::MotionTable& motion_table) {
  std::vector<std::uint32_t> ids;
  collect_ids(motion_table.motion_data_0, ids);
  collect_ids(motion_table.motion_data_1, ids);
  for (const std::uint32_t outer : motion_table.links.sorted_keys()) collect_ids(*motion_table.links.find(outer), ids);
  return common::sorted_unique_ids(std::move(ids));
}

}  // namespace ravelin::event_bake::anim_sound
