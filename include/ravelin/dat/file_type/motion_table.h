// Motion table: which animations an object plays for each motion, over which
// frame ranges, in three motion-data maps (plain, secondary, and links keyed by
// an outer key).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ravelin/common/id_map.h"
#include "ravelin/common/math.h"
#include "ravelin/common/reader.h"

namespace ravelin::dat::file_type {

// 16 bytes: an animation id and its frame range, stored as read (negative values
// included; clamping belongs to the consumer).
struct AnimRef {
  std::uint32_t anim_id = 0;
  std::int32_t start_frame = 0;
  std::int32_t end_frame = 0;
  std::uint32_t word_4 = 0;

  bool operator==(const AnimRef&) const = default;
};

struct MotionData {
  // Bits of the stored flags byte that select the vectors; only these are kept.
  static constexpr std::uint8_t kHasVector1 = 0x1;
  static constexpr std::uint8_t kHasVector2 = 0x2;

  std::vector<AnimRef> anims;
  std::uint8_t aux_byte = 0;
  std::uint8_t flags = 0;  // stored flags & 0x03
  std::optional<common::Vector3> vector_1;
  std::optional<common::Vector3> vector_2;

  bool operator==(const MotionData&) const = default;
};

using MotionDataMap = common::IdMap<std::uint32_t, MotionData>;

// Reads one motion-data map: a u32 entry count, then per entry a key, the anim
// count, aux and flags bytes, alignment to 4 (counted from the reader's first
// byte; the skipped bytes are not read, so the move never fails), the anims and
// the flagged vectors. A repeated key keeps the later entry. Errors are the
// bare read errors (a Vector3 brings its own frames).
common::ReadResult<MotionDataMap> parse_motion_data_map(common::Reader& reader);

struct MotionTable {
  std::uint32_t id = 0;
  std::uint32_t default_stance = 0;
  common::IdMap<std::uint32_t, std::uint32_t> key_pairs;
  MotionDataMap motion_data_0;
  MotionDataMap motion_data_1;
  common::IdMap<std::uint32_t, MotionDataMap> links;

  // Decodes a whole motion table; the reader must sit at the file's first byte
  // since the entries align relative to it. Trailing bytes are not examined.
  static common::ReadResult<MotionTable> read(common::Reader& reader);
  bool operator==(const MotionTable&) const = default;
};

}  // namespace ravelin::dat::file_type
