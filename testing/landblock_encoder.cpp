#include "testing/landblock_encoder.h"

#include <algorithm>

namespace ravelin::testing {

void write_stab(ByteWriter& out, const StabSpec& stab) {
  out.u32(stab.id);
  write_frame(out, stab.frame);
}

void write_portal(ByteWriter& out, const PortalSpec& portal) {
  const auto num_stabs = static_cast<std::uint16_t>(portal.stab_list.size());
  out.u16(portal.flags).u16(portal.other_cell_id).u16(portal.other_portal_id).u16(num_stabs);
  for (std::size_t i = 0; i < num_stabs; ++i) out.u16(portal.stab_list[i]);
  if (num_stabs & 1u) out.zeros(2);
}

void write_building(ByteWriter& out, const BuildingSpec& building) {
  out.u32(building.model_id);
  write_frame(out, building.frame);
  out.u32(building.num_leaves).u32(static_cast<std::uint32_t>(building.portals.size()));
  for (const PortalSpec& portal : building.portals) write_portal(out, portal);
}

void write_restriction_table(ByteWriter& out, const RestrictionTableSpec& table) {
  const auto count = static_cast<std::uint16_t>(table.pairs.size());
  out.u16(count).u16(table.bucket_size);
  for (std::size_t i = 0; i < count; ++i) out.u32(table.pairs[i].first).u32(table.pairs[i].second);
}

std::vector<std::uint8_t> encode_cell_landblock(const CellLandblockSpec& spec) {
  ByteWriter out;
  out.u32(spec.id).u32(spec.has_objects);
  for (std::uint16_t word : spec.terrain) out.u16(word);
  out.bytes(spec.height);
  if (spec.padding_byte) out.u8(0);
  return out.take();
}

std::vector<std::uint8_t> encode_cell_landblock(
    std::uint32_t id, std::span<const std::uint16_t, kLandblockVertices> terrain) {
  CellLandblockSpec spec;
  spec.id = id;
  std::copy(terrain.begin(), terrain.end(), spec.terrain.begin());
  return encode_cell_landblock(spec);
}

std::vector<std::uint8_t> encode_landblock_info(const LandblockInfoSpec& spec) {
  ByteWriter out;
  const auto num_objects =
      spec.num_objects_override.value_or(static_cast<std::uint32_t>(spec.objects.size()));
  out.u32(spec.id).u32(spec.num_cells).u32(num_objects);
  for (const StabSpec& stab : spec.objects) write_stab(out, stab);
  const std::uint16_t pack_mask =
      spec.pack_mask.value_or(spec.restriction_table ? std::uint16_t{1} : std::uint16_t{0});
  out.u16(static_cast<std::uint16_t>(spec.buildings.size())).u16(pack_mask);
  for (const BuildingSpec& building : spec.buildings) write_building(out, building);
  if (spec.restriction_table) write_restriction_table(out, *spec.restriction_table);
  return out.take();
}

std::vector<std::uint8_t> encode_landblock_info(std::uint32_t id,
                                                std::span<const StabSpec> placements) {
  LandblockInfoSpec spec;
  spec.id = id;
  spec.objects.assign(placements.begin(), placements.end());
  return encode_landblock_info(spec);
}

}  // namespace ravelin::testing
