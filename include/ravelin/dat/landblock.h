// The two per-landblock records of the cell archive: CellLandblock (terrain
// words and heights of the 81 vertices) and LandblockInfo (placed objects,
// buildings with their portals, optional restriction table). Every record is
// read field by field; a failed field adds its "While parsing field" frame and
// puts the cursor back at the record's first byte.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ravelin/common/id_map.h"
#include "ravelin/common/math.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/error.h"

namespace ravelin::dat {

// Vertices per landblock (a 9 x 9 grid); fixed by the format, never stored.
inline constexpr std::size_t kLandblockVertexCount = 81;

// Terrain type of a terrain word: bits 2-6, 0 to 31.
constexpr std::uint32_t terrain_type(std::uint16_t word) { return (word >> 2) & 0x1Fu; }
// Scene type of a terrain word: bits 11-15, 0 to 31.
constexpr std::uint32_t scene_type(std::uint16_t word) { return word >> 11; }

// A position and orientation inside a landblock. Same layout as dat::Frame,
// but a separate type because its read errors belong to this unit: the frames
// say "... in Frame" with the path dat/landblock, not dat/graphics.
struct LandblockFrame {
  common::Vector3 origin;
  common::Quaternion orientation;

  // 28 bytes: origin (3 f32), orientation (4 f32, w first).
  static common::ReadResult<LandblockFrame> read(common::Reader& reader);
  bool operator==(const LandblockFrame&) const = default;
};

// One placed object: its file id and where it stands (32 bytes).
struct Stab {
  std::uint32_t id = 0;
  LandblockFrame frame;

  static common::ReadResult<Stab> read(common::Reader& reader);
  bool operator==(const Stab&) const = default;
};

// A portal of a building. Occupies 8 + 2 * stabs bytes, plus 2 padding bytes
// when the stab count is odd, so the next record starts 4-aligned again.
struct PortalInternal {
  std::uint16_t flags = 0;
  std::uint16_t other_cell_id = 0;
  std::uint16_t other_portal_id = 0;
  std::vector<std::uint16_t> stab_list;

  static common::ReadResult<PortalInternal> read(common::Reader& reader);
  bool operator==(const PortalInternal&) const = default;
};

// A building: model, placement, leaf count and portals.
struct BuildInfo {
  std::uint32_t model_id = 0;
  LandblockFrame frame;
  std::uint32_t num_leaves = 0;
  std::vector<PortalInternal> portals;

  static common::ReadResult<BuildInfo> read(common::Reader& reader);
  bool operator==(const BuildInfo&) const = default;
};

// Key-to-value pairs; a key seen again replaces the earlier value. The bucket
// size stored in the file is read and dropped.
struct RestrictionTable {
  common::IdMap<std::uint32_t, std::uint32_t> tables;

  static common::ReadResult<RestrictionTable> read(common::Reader& reader);
  bool operator==(const RestrictionTable&) const = default;
};

// File id low 16 bits 0xFFFF: terrain words and height bytes of the 81 vertices.
struct CellLandblock {
  std::uint32_t id = 0;
  std::uint32_t has_objects = 0;
  std::array<std::uint16_t, kLandblockVertexCount> terrain{};
  std::array<std::uint8_t, kLandblockVertexCount> height{};

  // Decodes from the file's whole byte content. Needs 251 bytes (the trailing
  // padding byte may be missing); otherwise BinRead with the field frames.
  static DatResult<CellLandblock> unpack(std::span<const std::uint8_t> bytes);
  // The same from a cursor; the cursor ends after the padding byte.
  static common::ReadResult<CellLandblock> read(common::Reader& reader);
  bool operator==(const CellLandblock&) const = default;
};

// File id low 16 bits 0xFFFE: placed objects, buildings, restriction table.
struct LandblockInfo {
  std::uint32_t id = 0;
  std::uint32_t num_cells = 0;
  std::vector<Stab> objects;
  // Bit 0 says a restriction table follows the buildings.
  std::uint16_t pack_mask = 0;
  std::vector<BuildInfo> buildings;
  std::optional<RestrictionTable> restriction_tables;

  // Decodes from the file's whole byte content; trailing bytes are ignored.
  // Failure: BinRead with the field frames, innermost first.
  static DatResult<LandblockInfo> unpack(std::span<const std::uint8_t> bytes);
  static common::ReadResult<LandblockInfo> read(common::Reader& reader);
  bool operator==(const LandblockInfo&) const = default;
};

}  // namespace ravelin::dat
