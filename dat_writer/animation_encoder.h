// Encoders for animation and physics script files, from plain descriptions.
// Hooks and frames are written with the hook encoder, exactly as described.
#pragma once

#include <cstdint>
#include <vector>

#include "dat_writer/geometry_encoder.h"
#include "dat_writer/hook_encoder.h"

namespace ravelin::dat_writer {

struct AnimationDef {
  std::uint32_t id = 0x03000001;
  std::uint32_t flags = 0;  // written as given; bit 0 also writes object_frames
  std::uint32_t part_count = 0;  // written as given, whatever the frames hold
  std::vector<FrameDef> object_frames;
  std::vector<AnimFrameDef> frames;  // their number is the written frame count
};

struct ScriptEntryDef {
  F64 start_time;
  HookDef hook;
};

struct PhysicsScriptDef {
  std::uint32_t id = 0x33000001;
  std::vector<ScriptEntryDef> entries;
};

std::vector<std::uint8_t> encode_animation(const AnimationDef& animation);
std::vector<std::uint8_t> encode_physics_script(const PhysicsScriptDef& script);

// An animation of `part_count` parts with one frame per element of
// `hooks_per_frame` (identity part frames, the given hooks), no object frames.
AnimationDef animation_with_hooks(std::uint32_t id, std::uint32_t part_count,
                                   std::vector<std::vector<HookDef>> hooks_per_frame);
// A script of (start time, hook) entries in the given order.
PhysicsScriptDef physics_script_of(std::uint32_t id, std::vector<ScriptEntryDef> entries);

}  // namespace ravelin::dat_writer
