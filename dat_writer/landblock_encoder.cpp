#include "dat_writer/landblock_encoder.h"

#include <algorithm>

#include "ravelin/dat/landblock_encoder.h"

namespace ravelin::dat_writer {
namespace {

dat::StoredCellLandblock stored_cell(const CellLandblockDef& def) {
  dat::StoredCellLandblock c;
  c.id = def.id;
  c.has_objects = def.has_objects;
  c.terrain = def.terrain;
  c.height = def.height;
  if (!def.padding_byte) c.padding = dat::file_type::Bytes{};  // the file ends before it
  return c;
}

// The hand writer's pack mask: bit 0 from the table unless one is given.
dat::StoredLandblockInfo stored_info(const LandblockInfoDef& def) {
  dat::StoredLandblockInfo info;
  info.id = def.id;
  info.num_cells = def.num_cells;
  for (const StabDef& s : def.objects) info.objects.push_back({s.id, as_landblock_frame(s.frame)});
  info.pack_mask = def.pack_mask.value_or(def.restriction_table ? std::uint16_t{1} : std::uint16_t{0});
  for (const BuildingDef& b : def.buildings) {
    dat::StoredBuildInfo building{b.model_id, as_landblock_frame(b.frame), b.num_leaves, {}};
    for (const PortalDef& p : b.portals)
      building.portals.push_back({p.flags, p.other_cell_id, p.other_portal_id, p.stab_list, std::nullopt});
    info.buildings.push_back(std::move(building));
  }
  if (def.restriction_table) {
    dat::StoredRestrictionTable table{def.restriction_table->bucket_size, {}};
    for (const auto& [key, value] : def.restriction_table->pairs) table.tables.push_back({key, value});
    info.restriction_tables = std::move(table);
  }
  return info;
}

}  // namespace

void write_stab(ByteWriter& out, const StabDef& stab) {
  out.u32(stab.id);
  write_frame(out, stab.frame);
}

void write_portal(ByteWriter& out, const PortalDef& portal) {
  const auto num_stabs = static_cast<std::uint16_t>(portal.stab_list.size());
  out.u16(portal.flags).u16(portal.other_cell_id).u16(portal.other_portal_id).u16(num_stabs);
  for (std::size_t i = 0; i < num_stabs; ++i) out.u16(portal.stab_list[i]);
  if (num_stabs & 1u) out.zeros(2);
}

void write_building(ByteWriter& out, const BuildingDef& building) {
  out.u32(building.model_id);
  write_frame(out, building.frame);
  out.u32(building.num_leaves).u32(static_cast<std::uint32_t>(building.portals.size()));
  for (const PortalDef& portal : building.portals) write_portal(out, portal);
}

void write_restriction_table(ByteWriter& out, const RestrictionTableDef& table) {
  const auto count = static_cast<std::uint16_t>(table.pairs.size());
  out.u16(count).u16(table.bucket_size);
  for (std::size_t i = 0; i < count; ++i) out.u32(table.pairs[i].first).u32(table.pairs[i].second);
}

std::vector<std::uint8_t> encode_cell_landblock(const CellLandblockDef& def) {
  if (auto bytes = dat::encode_cell_landblock(stored_cell(def))) return std::move(*bytes);
  ByteWriter out;
  out.u32(def.id).u32(def.has_objects);
  for (std::uint16_t word : def.terrain) out.u16(word);
  out.bytes(def.height);
  if (def.padding_byte) out.u8(0);
  return out.take();
}

std::vector<std::uint8_t> encode_cell_landblock(
    std::uint32_t id, std::span<const std::uint16_t, kLandblockVertices> terrain) {
  CellLandblockDef def;
  def.id = id;
  std::copy(terrain.begin(), terrain.end(), def.terrain.begin());
  return encode_cell_landblock(def);
}

// The library's encoder, unless the description asks for bytes it refuses (an
// object count of its own, a pack mask that disagrees with the table, lists
// longer than their 16-bit counts).
std::vector<std::uint8_t> encode_landblock_info(const LandblockInfoDef& def) {
  if (!def.num_objects_override)
    if (auto bytes = dat::encode_landblock_info(stored_info(def))) return std::move(*bytes);
  ByteWriter out;
  const auto num_objects =
      def.num_objects_override.value_or(static_cast<std::uint32_t>(def.objects.size()));
  out.u32(def.id).u32(def.num_cells).u32(num_objects);
  for (const StabDef& stab : def.objects) write_stab(out, stab);
  const std::uint16_t pack_mask =
      def.pack_mask.value_or(def.restriction_table ? std::uint16_t{1} : std::uint16_t{0});
  out.u16(static_cast<std::uint16_t>(def.buildings.size())).u16(pack_mask);
  for (const BuildingDef& building : def.buildings) write_building(out, building);
  if (def.restriction_table) write_restriction_table(out, *def.restriction_table);
  return out.take();
}

std::vector<std::uint8_t> encode_landblock_info(std::uint32_t id,
                                                std::span<const StabDef> placements) {
  LandblockInfoDef def;
  def.id = id;
  def.objects.assign(placements.begin(), placements.end());
  return encode_landblock_info(def);
}

}  // namespace ravelin::dat_writer
