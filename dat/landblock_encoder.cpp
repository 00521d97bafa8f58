#include "ravelin/dat/landblock_encoder.h"

#include <string>

#include "dat/file_type/record_encoder_bytes.h"

namespace ravelin::dat {
namespace {

using file_type::Bytes;
using file_type::Keyed;
using file_type::RecordOutput;
using file_type::RecordPath;
using file_type::RecordResult;

common::ReadResult<StoredPortal> read_portal(common::Reader& reader) {
  StoredPortal p;
  std::uint16_t num_stabs = 0;
  RAVELIN_TRY(p.flags, reader.read_u16());
  RAVELIN_TRY(p.other_cell_id, reader.read_u16());
  RAVELIN_TRY(p.other_portal_id, reader.read_u16());
  RAVELIN_TRY(num_stabs, reader.read_u16());
  RAVELIN_TRY(p.stab_list, reader.read_u16_array(num_stabs));
  RAVELIN_TRY(p.padding, file_type::read_skipped(reader, (num_stabs & 1u) * 2u));
  return p;
}

common::ReadResult<StoredBuildInfo> read_building(common::Reader& reader) {
  StoredBuildInfo b;
  std::uint32_t num_portals = 0;
  RAVELIN_TRY(b.model_id, reader.read_u32());
  RAVELIN_TRY(b.frame, LandblockFrame::read(reader));
  RAVELIN_TRY(b.num_leaves, reader.read_u32());
  RAVELIN_TRY(num_portals, reader.read_u32());
  RAVELIN_TRY(b.portals, common::read_list<StoredPortal>(reader, num_portals, 8, read_portal));
  return b;
}

common::ReadResult<StoredRestrictionTable> read_restriction_table(common::Reader& reader) {
  StoredRestrictionTable t;
  std::uint16_t count = 0;
  RAVELIN_TRY(count, reader.read_u16());
  RAVELIN_TRY(t.bucket_size, reader.read_u16());
  RAVELIN_TRY(t.tables, (common::read_list<Keyed<std::uint32_t, std::uint32_t>>(
                            reader, count, 8,
                            [](common::Reader& r) -> common::ReadResult<Keyed<std::uint32_t, std::uint32_t>> {
                              Keyed<std::uint32_t, std::uint32_t> pair;
                              RAVELIN_TRY(pair.key, r.read_u32());
                              RAVELIN_TRY(pair.value, r.read_u32());
                              return pair;
                            })));
  return t;
}

RecordResult<void> write_portal(RecordOutput& out, const StoredPortal& p, const RecordPath& path) {
  const RecordPath stabs(path, "stab_list");
  RAVELIN_TRY_VOID(file_type::check_count(p.stab_list.size(), 0xFFFF, stabs));
  out.u16(p.flags);
  out.u16(p.other_cell_id);
  out.u16(p.other_portal_id);
  out.u16(static_cast<std::uint16_t>(p.stab_list.size()));
  for (const std::uint16_t stab : p.stab_list) out.u16(stab);
  return out.skip(p.padding, (p.stab_list.size() & 1u) * 2u, path / "padding");
}

}  // namespace

common::ReadResult<StoredCellLandblock> StoredCellLandblock::read(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  StoredCellLandblock c;
  RAVELIN_TRY(c.id, reader.read_u32());
  RAVELIN_TRY(c.has_objects, reader.read_u32());
  for (auto& word : c.terrain) RAVELIN_TRY(word, reader.read_u16());
  std::span<const std::uint8_t> height;
  RAVELIN_TRY(height, reader.read_bytes(kLandblockVertexCount));
  std::copy(height.begin(), height.end(), c.height.begin());
  RAVELIN_TRY(c.padding, file_type::read_skipped(reader, 1));
  c.trailing = file_type::trailing_bytes(reader);
  return c;
}

common::ReadResult<StoredLandblockInfo> StoredLandblockInfo::read(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  StoredLandblockInfo info;
  std::uint32_t num_objects = 0;
  std::uint16_t num_buildings = 0;
  RAVELIN_TRY(info.id, reader.read_u32());
  RAVELIN_TRY(info.num_cells, reader.read_u32());
  RAVELIN_TRY(num_objects, reader.read_u32());
  RAVELIN_TRY(info.objects, common::read_list<Stab>(reader, num_objects, 32, Stab::read));
  RAVELIN_TRY(num_buildings, reader.read_u16());
  RAVELIN_TRY(info.pack_mask, reader.read_u16());
  RAVELIN_TRY(info.buildings, common::read_list<StoredBuildInfo>(reader, num_buildings, 40, read_building));
  if (info.pack_mask & 0x1u) RAVELIN_TRY(info.restriction_tables, read_restriction_table(reader));
  info.trailing = file_type::trailing_bytes(reader);
  return info;
}

RecordResult<Bytes> encode_cell_landblock(const StoredCellLandblock& c) {
  const RecordPath root;
  RecordOutput out;
  out.u32(c.id);
  out.u32(c.has_objects);
  for (const std::uint16_t word : c.terrain) out.u16(word);
  out.bytes(c.height);
  RAVELIN_TRY_VOID(out.skip(c.padding, 1, root / "padding"));
  return std::move(out).finish(c.trailing);
}

RecordResult<Bytes> encode_landblock_info(const StoredLandblockInfo& info) {
  const RecordPath root;
  RecordOutput out;
  const RecordPath objects(root, "objects"), buildings(root, "buildings"), table(root, "restriction_tables");
  RAVELIN_TRY_VOID(file_type::check_count(info.objects.size(), 0xFFFFFFFF, objects));
  RAVELIN_TRY_VOID(file_type::check_count(info.buildings.size(), 0xFFFF, buildings));
  if (info.restriction_tables.has_value() != ((info.pack_mask & 0x1u) != 0))
    return table.fail(info.restriction_tables ? "expected null: pack_mask lacks bit 0x1"
                                              : "expected a restriction table: pack_mask has bit 0x1");
  out.u32(info.id);
  out.u32(info.num_cells);
  out.u32(static_cast<std::uint32_t>(info.objects.size()));
  for (const Stab& s : info.objects) {
    out.u32(s.id);
    file_type::write_frame(out, s.frame);
  }
  out.u16(static_cast<std::uint16_t>(info.buildings.size()));
  out.u16(info.pack_mask);
  for (std::size_t b = 0; b < info.buildings.size(); ++b) {
    const StoredBuildInfo& building = info.buildings[b];
    const RecordPath at(buildings, b);
    const RecordPath portals(at, "portals");
    RAVELIN_TRY_VOID(file_type::check_count(building.portals.size(), 0xFFFFFFFF, portals));
    out.u32(building.model_id);
    file_type::write_frame(out, building.frame);
    out.u32(building.num_leaves);
    out.u32(static_cast<std::uint32_t>(building.portals.size()));
    for (std::size_t p = 0; p < building.portals.size(); ++p)
      RAVELIN_TRY_VOID(write_portal(out, building.portals[p], portals / p));
  }
  if (info.restriction_tables) {
    const auto& pairs = info.restriction_tables->tables;
    RAVELIN_TRY_VOID(file_type::check_count(pairs.size(), 0xFFFF, table / "tables"));
    out.u16(static_cast<std::uint16_t>(pairs.size()));
    out.u16(info.restriction_tables->bucket_size);
    for (const auto& pair : pairs) {
      out.u32(pair.key);
      out.u32(pair.value);
    }
  }
  return std::move(out).finish(info.trailing);
}

}  // namespace ravelin::dat
