// Encoders for the cell archive's per-landblock records (CellLandblock and
// LandblockInfo), from plain descriptions: through the library's encoders
// where those take the description, by hand with ByteWriter where it is broken
// on purpose (an object count of its own, a pack mask that disagrees with the
// table). The appenders below write single records by hand.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "ravelin/dat/file_ids.h"

#include "dat_writer/byte_writer.h"
#include "dat_writer/geometry_encoder.h"

namespace ravelin::dat_writer {

inline constexpr std::size_t kLandblockVertices = 81;

// One placed object.
struct StabDef {
  std::uint32_t id = 0;
  FrameDef frame;
};

struct PortalDef {
  std::uint16_t flags = 0;
  std::uint16_t other_cell_id = 0;
  std::uint16_t other_portal_id = 0;
  std::vector<std::uint16_t> stab_list;
};

struct BuildingDef {
  std::uint32_t model_id = 0;
  FrameDef frame;
  std::uint32_t num_leaves = 0;
  std::vector<PortalDef> portals;
};

// Pairs are written in order, repeats included.
struct RestrictionTableDef {
  std::uint16_t bucket_size = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
};

struct LandblockInfoDef {
  std::uint32_t id = 0;
  std::uint32_t num_cells = 0;
  std::vector<StabDef> objects;
  std::vector<BuildingDef> buildings;
  std::optional<RestrictionTableDef> restriction_table;
  // Written as is when set; otherwise 0x0001 with a table, 0x0000 without.
  // A mask whose bit 0 disagrees with `restriction_table` makes a file whose
  // table is missing or ignored, on purpose.
  std::optional<std::uint16_t> pack_mask;
  // Replaces the stored object count (hostile-count tests); the objects
  // listed are still written.
  std::optional<std::uint32_t> num_objects_override;
};

struct CellLandblockDef {
  std::uint32_t id = 0;
  std::uint32_t has_objects = 0;
  std::array<std::uint16_t, kLandblockVertices> terrain{};
  std::array<std::uint8_t, kLandblockVertices> height{};
  // The trailing byte is optional in the format; real files carry it.
  bool padding_byte = true;
};

using dat::cell_landblock_file_id;
using dat::landblock_info_file_id;

// A terrain word carrying the given terrain type (0-31, bits 2-6) and scene
// type (0-31, bits 11-15); higher bits of the arguments are dropped.
constexpr std::uint16_t terrain_word(std::uint32_t terrain_type, std::uint32_t scene_type) {
  return static_cast<std::uint16_t>(((scene_type & 0x1Fu) << 11) | ((terrain_type & 0x1Fu) << 2));
}

// Appenders for the single records, for tests of the record readers (frames:
// write_frame of geometry_encoder.h).
void write_stab(ByteWriter& out, const StabDef& stab);
// 8 + 2 * n bytes, plus 2 zero bytes when n is odd.
void write_portal(ByteWriter& out, const PortalDef& portal);
void write_building(ByteWriter& out, const BuildingDef& building);
void write_restriction_table(ByteWriter& out, const RestrictionTableDef& table);

// 252 bytes (251 without the padding byte).
std::vector<std::uint8_t> encode_cell_landblock(const CellLandblockDef& def);
// `id` as stored, the given terrain words, all heights 0, has_objects 0.
std::vector<std::uint8_t> encode_cell_landblock(
    std::uint32_t id, std::span<const std::uint16_t, kLandblockVertices> terrain);

std::vector<std::uint8_t> encode_landblock_info(const LandblockInfoDef& def);
// Only placed objects: no cells, no buildings, no restriction table.
std::vector<std::uint8_t> encode_landblock_info(std::uint32_t id,
                                                std::span<const StabDef> placements);

}  // namespace ravelin::dat_writer
