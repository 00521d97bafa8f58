// Encoder for motion table files, from a plain description. Entries are written
// in the given order (repeats included), each aligned as the format wants,
// counted from the file's first byte.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "testing/geometry_encoder.h"

namespace ravelin::testing {

struct AnimRefSpec {
  std::uint32_t anim_id = 0;
  std::int32_t start_frame = 0;
  std::int32_t end_frame = -1;  // -1: to the animation's last frame
  std::uint32_t word_4 = 0;
};

struct MotionDataSpec {
  std::vector<AnimRefSpec> anims;  // at most 255: the count is one byte
  std::uint8_t aux_byte = 0;
  // The flags byte is bit 0 for vector_1, bit 1 for vector_2, ORed with these
  // (bits that select nothing, e.g. 0x04).
  std::uint8_t extra_flags = 0;
  std::optional<Vec3Spec> vector_1;
  std::optional<Vec3Spec> vector_2;
  std::uint8_t alignment_fill = 0;  // value of the skipped alignment bytes
};

struct MotionEntrySpec {
  std::uint32_t key = 0;
  MotionDataSpec data;
};

struct LinkSpec {
  std::uint32_t outer_key = 0;
  std::vector<MotionEntrySpec> entries;
};

struct MotionTableSpec {
  std::uint32_t id = 0x09000001;
  std::uint32_t default_stance = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> key_pairs;
  std::vector<MotionEntrySpec> motion_data_0;
  std::vector<MotionEntrySpec> motion_data_1;
  std::vector<LinkSpec> links;
};

std::vector<std::uint8_t> encode_motion_table(const MotionTableSpec& table);

// Motion data playing each given animation over its whole range.
MotionDataSpec motion_data_playing(std::vector<std::uint32_t> anim_ids);

}  // namespace ravelin::testing
