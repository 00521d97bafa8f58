// The cell archive's landblock records as stored: CellLandblock with its
// optional last byte, LandblockInfo with each portal's padding, the restriction
// table's bucket size and pairs as stored (file order, repeated keys), and the
// bytes after the last part of each.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/record_encoder.h"
#include "ravelin/dat/landblock.h"

namespace ravelin::dat {

struct StoredCellLandblock {
  std::uint32_t id = 0;
  std::uint32_t has_objects = 0;
  std::array<std::uint16_t, kLandblockVertexCount> terrain{};
  std::array<std::uint8_t, kLandblockVertexCount> height{};
  // The last byte, which the decoder skips: absent for one zero byte, empty
  // when the file ends before it.
  file_type::SkippedBytes padding;
  file_type::Bytes trailing;

  // Decodes what CellLandblock::unpack decodes and fails where it fails
  // (CellLandblock::unpack's error is the one to show).
  static common::ReadResult<StoredCellLandblock> read(std::span<const std::uint8_t> bytes);
  bool operator==(const StoredCellLandblock&) const = default;
};

struct StoredPortal {
  std::uint16_t flags = 0;
  std::uint16_t other_cell_id = 0;
  std::uint16_t other_portal_id = 0;
  std::vector<std::uint16_t> stab_list;
  // The 2 bytes after an odd number of stabs (fewer where the file ends).
  file_type::SkippedBytes padding;

  bool operator==(const StoredPortal&) const = default;
};

struct StoredBuildInfo {
  std::uint32_t model_id = 0;
  LandblockFrame frame;
  std::uint32_t num_leaves = 0;
  std::vector<StoredPortal> portals;

  bool operator==(const StoredBuildInfo&) const = default;
};

struct StoredRestrictionTable {
  std::uint16_t bucket_size = 0;  // the decoder reads and drops it
  std::vector<file_type::Keyed<std::uint32_t, std::uint32_t>> tables;

  bool operator==(const StoredRestrictionTable&) const = default;
};

struct StoredLandblockInfo {
  std::uint32_t id = 0;
  std::uint32_t num_cells = 0;
  std::vector<Stab> objects;
  std::uint16_t pack_mask = 0;  // bit 0: the restriction table is stored
  std::vector<StoredBuildInfo> buildings;
  std::optional<StoredRestrictionTable> restriction_tables;
  file_type::Bytes trailing;

  // Decodes what LandblockInfo::unpack decodes and fails where it fails
  // (LandblockInfo::unpack's error is the one to show).
  static common::ReadResult<StoredLandblockInfo> read(std::span<const std::uint8_t> bytes);
  bool operator==(const StoredLandblockInfo&) const = default;
};

// The CellLandblock's bytes (252 with its last byte). Fails only for skipped
// bytes longer than the one byte, or a shortened last byte followed by bytes.
file_type::RecordResult<file_type::Bytes> encode_cell_landblock(const StoredCellLandblock& cell);
// The LandblockInfo's bytes. Fails when the restriction table disagrees with
// bit 0 of pack_mask or a list outgrows its 16-bit count.
file_type::RecordResult<file_type::Bytes> encode_landblock_info(const StoredLandblockInfo& info);

}  // namespace ravelin::dat
