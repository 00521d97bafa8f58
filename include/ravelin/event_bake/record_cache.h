// Fetching and decoding the per-object records of the portal archive (setup
// models, motion tables, animations, physics scripts), and the one cache a
// bake keeps of them. The bake driver, the session and the sky chain all load
// records here; the event families only ever see the decoded records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "ravelin/common/id_map.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/anim_sound.h"
#include "ravelin/event_bake/input_records.h"
#include "ravelin/event_bake/sky_chain.h"

namespace ravelin::event_bake {

// The setup model `id` of the portal archive, or nothing when it cannot be
// fetched or decoded (the reason is dropped).
std::optional<dat::file_type::SetupModel> load_setup_model(const dat::DatDatabase& portal, std::uint32_t id);
// The same from the file's bytes, fetched already.
std::optional<dat::file_type::SetupModel> decode_setup_model(std::span<const std::uint8_t> bytes);

// The physics script `id` of the portal archive, or nothing on any failure.
std::optional<dat::file_type::PhysicsScript> load_physics_script(const dat::DatDatabase& portal,
                                                                 std::uint32_t id);

// The motion table `id`, or nothing on any failure.
std::optional<dat::file_type::MotionTable> load_motion_table(const dat::DatDatabase& portal, std::uint32_t id);

// The animation `id`, or nothing on any failure.
std::optional<dat::file_type::Animation> load_animation(const dat::DatDatabase& portal, std::uint32_t id);

// Decoded records of one portal archive by file id, each fetched and decoded
// at most once; a failed fetch or decode is remembered as nothing, so it is not
// retried. Only inserted into and looked up, never walked. Not thread-safe: a
// cache belongs to one bake call, or to one thread of a session at a time.
class RecordCache {
 public:
  explicit RecordCache(const dat::DatDatabase& portal) : portal_(&portal) {}

  const dat::DatDatabase& portal() const { return *portal_; }

  // The record, or nullptr when it cannot be fetched or decoded. Pointers stay
  // valid for the cache's lifetime. `id` goes to `recorder` whether it is
  // fetched now or found cached: it is an input of the bake asking either way.
  const dat::file_type::MotionTable* motion_table(std::uint32_t id, InputRecorder recorder);
  const dat::file_type::PhysicsScript* physics_script(std::uint32_t id, InputRecorder recorder);
  const dat::file_type::SetupModel* setup_model(std::uint32_t id, InputRecorder recorder);

  // Caches every animation of `ids` that is not cached yet; every id of `ids`
  // goes to `recorder`.
  void load_animations(std::span<const std::uint32_t> ids, InputRecorder recorder);

  // The maps as the families take them.
  const anim_sound::AnimationCache& animations() const { return animations_; }
  const sky_chain::ScriptCache& physics_scripts() const { return scripts_; }
  const sky_chain::SetupCache& setup_models() const { return setups_; }

 private:
  const dat::DatDatabase* portal_;
  anim_sound::AnimationCache animations_;
  common::IdMap<std::uint32_t, std::optional<dat::file_type::MotionTable>> motion_tables_;
  sky_chain::ScriptCache scripts_;
  sky_chain::SetupCache setups_;
};

}  // namespace ravelin::event_bake
