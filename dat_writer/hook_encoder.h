// Encoder for animation hooks and animation frames, the records that setup
// models, animations and physics scripts share. Hooks are written exactly as
// described, so tests can also build malformed ones.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "dat_writer/byte_writer.h"
#include "dat_writer/geometry_encoder.h"
#include "ravelin/dat/file_type/setup_model.h"

namespace ravelin::dat_writer {

struct HookDef {
  std::uint32_t type = 0;
  std::uint32_t word = 0;
  std::vector<std::uint8_t> payload;  // written as given, whatever the type
  // Zero bytes after the payload up to a multiple of 4, counted from the hook's
  // first byte. Off: nothing follows the payload.
  bool pad = true;
};

// One frame record: the part frames (their count is not written) and the hooks.
struct AnimFrameDef {
  std::vector<FrameDef> part_frames;
  std::vector<HookDef> hooks;
};

// Stored payload length of a well-formed hook of `type` before padding (type 5:
// the short 3-byte form); nullopt for types above 26.
std::optional<std::uint32_t> standard_payload_size(std::uint32_t type);

// A hook of `type` with a zero payload of its standard size (nothing for types
// above 26).
HookDef hook_of_type(std::uint32_t type, std::uint32_t word = 0);
// Type 1: the sound id as the 4-byte payload.
HookDef sound_hook(std::uint32_t sound_id);
// Type 21: sound id, priority, probability, volume.
HookDef sound_table_hook(std::uint32_t sound_id, F32 priority = 0.0f, F32 probability = 1.0f,
                          F32 volume = 1.0f);
// Type 13 (or 26 when blocking): emitter id and part index, then 32 zero bytes.
HookDef particle_hook(std::uint32_t emitter_id, std::uint32_t part_index, bool blocking = false);
// Type 5: a byte, a word and, when given, the second word (the caller decides
// whether it matches the word's top bit).
HookDef replace_object_hook(std::uint8_t first, std::uint16_t word,
                             std::optional<std::uint16_t> extra = std::nullopt);

void write_hook(ByteWriter& out, const HookDef& hook);
std::vector<std::uint8_t> encode_hook(const HookDef& hook);
// Part frames, the hook count, then the hooks.
void write_anim_frame(ByteWriter& out, const AnimFrameDef& frame);
// The library's records of the same bytes: the hook's payload with the padding
// write_hook adds. The library's encoders refuse a hook whose payload is not
// its type's; such hooks are written by hand.
dat::file_type::AnimationHook as_hook(const HookDef& hook);
dat::file_type::AnimationFrame as_anim_frame(const AnimFrameDef& frame);
// `part_count` identity frames at the origin and the given hooks.
AnimFrameDef anim_frame_with(std::uint32_t part_count, std::vector<HookDef> hooks = {});

}  // namespace ravelin::dat_writer
