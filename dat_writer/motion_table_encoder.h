// Encoder for motion table files, from a plain description. Entries are written
// in the given order (repeats included), each aligned as the format wants,
// counted from the file's first byte.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "dat_writer/geometry_encoder.h"

namespace ravelin::dat_writer {

struct AnimRefDef {
  std::uint32_t anim_id = 0;
  std::int32_t start_frame = 0;
  std::int32_t end_frame = -1;  // -1: to the animation's last frame
  std::uint32_t word_4 = 0;
};

struct MotionDataDef {
  std::vector<AnimRefDef> anims;  // at most 255: the count is one byte
  std::uint8_t aux_byte = 0;
  // The flags byte is bit 0 for vector_1, bit 1 for vector_2, ORed with these
  // (bits that select nothing, e.g. 0x04).
  std::uint8_t extra_flags = 0;
  std::optional<Vec3Def> vector_1;
  std::optional<Vec3Def> vector_2;
  std::uint8_t alignment_fill = 0;  // value of the skipped alignment bytes
};

struct MotionEntryDef {
  std::uint32_t key = 0;
  MotionDataDef data;
};

struct LinkDef {
  std::uint32_t outer_key = 0;
  std::vector<MotionEntryDef> entries;
};

struct MotionTableDef {
  std::uint32_t id = 0x09000001;
  std::uint32_t default_stance = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> key_pairs;
  std::vector<MotionEntryDef> motion_data_0;
  std::vector<MotionEntryDef> motion_data_1;
  std::vector<LinkDef> links;
};

std::vector<std::uint8_t> encode_motion_table(const MotionTableDef& table);

// Motion data playing each given animation over its whole range.
MotionDataDef motion_data_playing(std::vector<std::uint32_t> anim_ids);

}  // namespace ravelin::dat_writer
