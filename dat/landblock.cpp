#include "ravelin/dat/landblock.h"

#include <algorithm>
#include <utility>

#include "dat/landblock_frames.h"

namespace ravelin::dat {
namespace {

namespace frames = landblock_frames;

// Smallest encoded sizes, used to bound reservations by the bytes left.
constexpr std::uint64_t kStabSize = 32;
constexpr std::uint64_t kBuildInfoMinSize = 40;
constexpr std::uint64_t kPortalMinSize = 8;

// Padding is skipped, not read: it fails only when the position would overflow.
// Such a failure still puts the cursor back at the record's start.
common::ReadResult<void> skip_padding(common::Reader& reader, std::uint64_t record_start,
                                      std::uint64_t count) {
  auto skipped = reader.skip(count);
  if (!skipped) {
    reader.set_position(record_start);
    return std::unexpected(std::move(skipped).error());
  }
  return {};
}

// The pairs of a restriction table in file order; a repeated key keeps the
// value that comes last.
common::ReadResult<common::IdMap<std::uint32_t, std::uint32_t>> read_restriction_pairs(
    common::Reader& reader, std::uint16_t count) {
  const std::uint64_t start = reader.position();
  common::IdMap<std::uint32_t, std::uint32_t> map;
  for (std::uint32_t i = 0; i < count; ++i) {
    auto key = reader.read_u32();
    if (!key) {
      reader.set_position(start);
      return std::unexpected(std::move(key).error());
    }
    auto value = reader.read_u32();
    if (!value) {
      reader.set_position(start);
      return std::unexpected(std::move(value).error());
    }
    map.insert_or_assign(*key, *value);
  }
  return map;
}

}  // namespace

common::ReadResult<LandblockFrame> LandblockFrame::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kFrame);
  LandblockFrame f;
  RAVELIN_FIELD(rec, f.origin, frames::kFrameOrigin, common::Vector3::read(reader));
  RAVELIN_FIELD(rec, f.orientation, frames::kFrameOrientation, common::Quaternion::read(reader));
  return f;
}

common::ReadResult<Stab> Stab::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kStab);
  Stab s;
  RAVELIN_FIELD(rec, s.id, frames::kStabId, reader.read_u32());
  RAVELIN_FIELD(rec, s.frame, frames::kStabFrame, LandblockFrame::read(reader));
  return s;
}

common::ReadResult<PortalInternal> PortalInternal::read(common::Reader& reader) {
  const std::uint64_t start = reader.position();
  common::RecordScope rec(reader, frames::kPortalInternal);
  PortalInternal p;
  std::uint16_t num_stabs = 0;
  RAVELIN_FIELD(rec, p.flags, frames::kPortalInternalFlags, reader.read_u16());
  RAVELIN_FIELD(rec, p.other_cell_id, frames::kPortalInternalOtherCellId, reader.read_u16());
  RAVELIN_FIELD(rec, p.other_portal_id, frames::kPortalInternalOtherPortalId, reader.read_u16());
  RAVELIN_FIELD(rec, num_stabs, frames::kPortalInternalNumStabs, reader.read_u16());
  RAVELIN_FIELD(rec, p.stab_list, frames::kPortalInternalStabList, reader.read_u16_array(num_stabs));
  // An odd stab count leaves the record 2 bytes short of a multiple of 4.
  RAVELIN_TRY_VOID(skip_padding(reader, start, (num_stabs & 1u) * 2u));
  return p;
}

common::ReadResult<BuildInfo> BuildInfo::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kBuildInfo);
  BuildInfo b;
  std::uint32_t num_portals = 0;
  RAVELIN_FIELD(rec, b.model_id, frames::kBuildInfoModelId, reader.read_u32());
  RAVELIN_FIELD(rec, b.frame, frames::kBuildInfoFrame, LandblockFrame::read(reader));
  RAVELIN_FIELD(rec, b.num_leaves, frames::kBuildInfoNumLeaves, reader.read_u32());
  RAVELIN_FIELD(rec, num_portals, frames::kBuildInfoNumPortals, reader.read_u32());
  RAVELIN_FIELD(rec, b.portals, frames::kBuildInfoPortals,
                common::read_list<PortalInternal>(reader, num_portals, kPortalMinSize, PortalInternal::read));
  return b;
}

common::ReadResult<RestrictionTable> RestrictionTable::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kRestrictionTable);
  RestrictionTable t;
  std::uint16_t count = 0;
  RAVELIN_FIELD(rec, count, frames::kRestrictionTableCount, reader.read_u16());
  RAVELIN_FIELD_VOID(rec, frames::kRestrictionTableBucketSize, reader.read_u16());
  RAVELIN_FIELD(rec, t.tables, frames::kRestrictionTableTables, read_restriction_pairs(reader, count));
  return t;
}

common::ReadResult<CellLandblock> CellLandblock::read(common::Reader& reader) {
  const std::uint64_t start = reader.position();
  common::RecordScope rec(reader, frames::kCellLandblock);
  CellLandblock c;
  std::vector<std::uint16_t> terrain;
  std::span<const std::uint8_t> height;
  RAVELIN_FIELD(rec, c.id, frames::kCellLandblockId, reader.read_u32());
  RAVELIN_FIELD(rec, c.has_objects, frames::kCellLandblockHasObjects, reader.read_u32());
  RAVELIN_FIELD(rec, terrain, frames::kCellLandblockTerrain, reader.read_u16_array(kLandblockVertexCount));
  RAVELIN_FIELD(rec, height, frames::kCellLandblockHeight, reader.read_bytes(kLandblockVertexCount));
  // The trailing padding byte may be missing from the file.
  RAVELIN_TRY_VOID(skip_padding(reader, start, 1));
  std::copy(terrain.begin(), terrain.end(), c.terrain.begin());
  std::copy(height.begin(), height.end(), c.height.begin());
  return c;
}

DatResult<CellLandblock> CellLandblock::unpack(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  auto record = read(reader);
  if (!record) return std::unexpected(DatError::bin_read(std::move(record).error()));
  return std::move(*record);
}

common::ReadResult<LandblockInfo> LandblockInfo::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kLandblockInfo);
  LandblockInfo info;
  std::uint32_t num_objects = 0;
  std::uint16_t num_buildings = 0;
  RAVELIN_FIELD(rec, info.id, frames::kLandblockInfoId, reader.read_u32());
  RAVELIN_FIELD(rec, info.num_cells, frames::kLandblockInfoNumCells, reader.read_u32());
  RAVELIN_FIELD(rec, num_objects, frames::kLandblockInfoNumObjects, reader.read_u32());
  RAVELIN_FIELD(rec, info.objects, frames::kLandblockInfoObjects,
                common::read_list<Stab>(reader, num_objects, kStabSize, Stab::read));
  RAVELIN_FIELD(rec, num_buildings, frames::kLandblockInfoNumBuildings, reader.read_u16());
  RAVELIN_FIELD(rec, info.pack_mask, frames::kLandblockInfoPackMask, reader.read_u16());
  RAVELIN_FIELD(rec, info.buildings, frames::kLandblockInfoBuildings,
                common::read_list<BuildInfo>(reader, num_buildings, kBuildInfoMinSize, BuildInfo::read));
  if (info.pack_mask & 0x1u) {
    RAVELIN_FIELD(rec, info.restriction_tables, frames::kLandblockInfoRestrictionTables,
                  RestrictionTable::read(reader));
  }
  return info;
}

DatResult<LandblockInfo> LandblockInfo::unpack(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  auto record = read(reader);
  if (!record) return std::unexpected(DatError::bin_read(std::move(record).error()));
  return std::move(*record);
}

}  // namespace ravelin::dat
