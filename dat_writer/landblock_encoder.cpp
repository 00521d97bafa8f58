#include "dat_writer/landblock_encoder.h"

#include <algorithm>

namespace ravelin::dat_writer {

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

std::vector<std::uint8_t> encode_landblock_info(const LandblockInfoDef& def) {
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
