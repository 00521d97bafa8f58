// The motion table file as stored: its maps as stored (file order, repeated
// keys at both levels of the links), each entry's whole flags byte and its
// alignment byte, and the bytes after the last map.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ravelin/common/math.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/record_encoder.h"

namespace ravelin::dat::file_type {

struct StoredMotionData {
  std::vector<AnimRef> anims;  // at most 255: the count is one byte
  std::uint8_t aux_byte = 0;
  // The whole byte: bit 0 says vector_1 is stored, bit 1 vector_2; the bake
  // keeps only those two.
  std::uint8_t flags = 0;
  // The byte skipped after the three header bytes (absent from the file when
  // the table ends there).
  SkippedBytes padding;
  std::optional<common::Vector3> vector_1;
  std::optional<common::Vector3> vector_2;

  bool operator==(const StoredMotionData&) const = default;
};

using StoredMotionDataMap = std::vector<Keyed<std::uint32_t, StoredMotionData>>;

struct StoredMotionTable {
  std::uint32_t id = 0;
  std::uint32_t default_stance = 0;
  std::vector<Keyed<std::uint32_t, std::uint32_t>> key_pairs;
  StoredMotionDataMap motion_data_0;
  StoredMotionDataMap motion_data_1;
  std::vector<Keyed<std::uint32_t, StoredMotionDataMap>> links;
  Bytes trailing;

  // Decodes what MotionTable::read decodes, from the file's first byte, and
  // fails where it fails (MotionTable::read's error is the one to show).
  static common::ReadResult<StoredMotionTable> read(std::span<const std::uint8_t> bytes);
  bool operator==(const StoredMotionTable&) const = default;
};

// The motion table's bytes. Fails when an entry has more than 255 anims or
// vectors that disagree with its flags byte.
RecordResult<Bytes> encode_motion_table(const StoredMotionTable& table);

}  // namespace ravelin::dat::file_type
