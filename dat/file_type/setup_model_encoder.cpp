#include "ravelin/dat/file_type/setup_model_encoder.h"

#include <limits>
#include <string>

#include "dat/file_type/record_encoder_bytes.h"

namespace ravelin::dat::file_type {
namespace {

template <class Key, class Value>
common::ReadResult<void> read_keyed(common::Reader& reader, std::vector<Keyed<Key, Value>>& out,
                                    std::uint64_t value_bytes) {
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(out, (common::read_list<Keyed<Key, Value>>(reader, count, 4 + value_bytes,
                                                         [](common::Reader& r) -> common::ReadResult<Keyed<Key, Value>> {
                                                           Keyed<Key, Value> entry;
                                                           std::uint32_t key = 0;
                                                           RAVELIN_TRY(key, r.read_u32());
                                                           entry.key = static_cast<Key>(key);
                                                           RAVELIN_TRY(entry.value, Value::read(r));
                                                           return entry;
                                                         })));
  return {};
}

template <class T>
common::ReadResult<std::vector<T>> read_records(common::Reader& reader, std::uint32_t count, std::uint64_t size) {
  return common::read_list<T>(reader, count, size, [](common::Reader& r) { return T::read(r); });
}

common::ReadResult<std::vector<std::uint32_t>> read_words(common::Reader& reader, std::uint32_t count) {
  return common::read_list<std::uint32_t>(reader, count, 4, [](common::Reader& r) { return r.read_u32(); });
}

RecordResult<void> write_count(RecordOutput& out, std::size_t size, const RecordPath& path) {
  RAVELIN_TRY_VOID(check_count(size, 0xFFFFFFFF, path));
  out.u32(static_cast<std::uint32_t>(size));
  return {};
}

template <class Value, class WriteValue>
RecordResult<void> write_keyed(RecordOutput& out, const std::vector<Keyed<std::uint32_t, Value>>& entries,
                               const RecordPath& path, WriteValue write_value) {
  RAVELIN_TRY_VOID(write_count(out, entries.size(), path));
  for (const auto& entry : entries) {
    out.u32(entry.key);
    write_value(entry.value);
  }
  return {};
}

void write_location(RecordOutput& out, const LocationType& l) {
  out.u32(l.part_id);
  write_frame(out, l.frame);
}

// A list stored only under a flag: one entry per part when it is set.
RecordResult<void> check_flagged(std::size_t size, bool flagged, std::size_t parts, std::uint32_t bit,
                                 const RecordPath& path) {
  const std::size_t expected = flagged ? parts : 0;
  if (size == expected) return {};
  return path.fail("expected " + std::to_string(expected) + " entries (" +
                   (flagged ? "one per part: flags has bit 0x" : "none: flags lacks bit 0x") + std::to_string(bit) +
                   "), found " + std::to_string(size));
}

}  // namespace

common::ReadResult<StoredSetupModel> StoredSetupModel::read(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  StoredSetupModel m;
  RAVELIN_TRY(m.id, reader.read_u32());
  RAVELIN_TRY(m.flags, reader.read_u32());
  std::uint32_t part_count = 0;
  RAVELIN_TRY(part_count, reader.read_u32());
  RAVELIN_TRY(m.parts, read_words(reader, part_count));
  if (m.flags & SetupModel::kHasPartRefs) RAVELIN_TRY(m.part_refs, read_words(reader, part_count));
  if (m.flags & SetupModel::kHasPartVectors)
    RAVELIN_TRY(m.part_vectors, read_records<common::Vector3>(reader, part_count, 12));
  RAVELIN_TRY_VOID(read_keyed(reader, m.locations_1, 32));
  RAVELIN_TRY_VOID(read_keyed(reader, m.locations_2, 32));

  std::int32_t placement_count = 0;
  RAVELIN_TRY(placement_count, reader.read_i32());
  // SetupModel::unpack's own error, positioned after the count.
  if (placement_count < 0)
    return std::unexpected(common::ReadError::custom(reader.position(), "negative placement count"));
  RAVELIN_TRY(m.placements,
              (common::read_list<Keyed<std::int32_t, PlacementType>>(
                  reader, static_cast<std::uint32_t>(placement_count), 8 + 28 * std::uint64_t{part_count},
                  [part_count](common::Reader& r) -> common::ReadResult<Keyed<std::int32_t, PlacementType>> {
                    Keyed<std::int32_t, PlacementType> entry;
                    RAVELIN_TRY(entry.key, r.read_i32());
                    RAVELIN_TRY(entry.value.anim_frame, AnimationFrame::read(r, part_count));
                    return entry;
                  })));

  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(m.cyl_spheres, read_records<CylSphere>(reader, count, 20));
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(m.spheres, read_records<common::Sphere>(reader, count, 16));
  for (auto& scalar : m.scalars) RAVELIN_TRY(scalar, reader.read_u32());
  RAVELIN_TRY(m.sphere_1, common::Sphere::read(reader));
  RAVELIN_TRY(m.sphere_2, common::Sphere::read(reader));
  RAVELIN_TRY_VOID(read_keyed(reader, m.lights, 44));
  for (std::uint32_t* id : {&m.default_id_1, &m.default_script_id, &m.motion_table_id, &m.default_id_4,
                            &m.default_id_5})
    RAVELIN_TRY(*id, reader.read_u32());
  m.trailing = trailing_bytes(reader);
  return m;
}

RecordResult<Bytes> encode_setup_model(const StoredSetupModel& m) {
  const RecordPath root;
  RecordOutput out;
  out.u32(m.id);
  out.u32(m.flags);
  const RecordPath parts(root, "parts");
  RAVELIN_TRY_VOID(write_count(out, m.parts.size(), parts));
  for (const std::uint32_t part : m.parts) out.u32(part);
  RAVELIN_TRY_VOID(check_flagged(m.part_refs.size(), (m.flags & SetupModel::kHasPartRefs) != 0, m.parts.size(),
                                 SetupModel::kHasPartRefs, root / "part_refs"));
  for (const std::uint32_t ref : m.part_refs) out.u32(ref);
  RAVELIN_TRY_VOID(check_flagged(m.part_vectors.size(), (m.flags & SetupModel::kHasPartVectors) != 0,
                                 m.parts.size(), SetupModel::kHasPartVectors, root / "part_vectors"));
  for (const common::Vector3& v : m.part_vectors) write_vector3(out, v);
  const auto location = [&out](const LocationType& l) { write_location(out, l); };
  RAVELIN_TRY_VOID(write_keyed(out, m.locations_1, root / "locations_1", location));
  RAVELIN_TRY_VOID(write_keyed(out, m.locations_2, root / "locations_2", location));

  const RecordPath placements(root, "placements");
  RAVELIN_TRY_VOID(check_count(m.placements.size(), std::numeric_limits<std::int32_t>::max(), placements));
  out.i32(static_cast<std::int32_t>(m.placements.size()));
  const auto part_count = static_cast<std::uint32_t>(m.parts.size());
  for (std::size_t i = 0; i < m.placements.size(); ++i) {
    const RecordPath at(placements, i);
    out.i32(m.placements[i].key);
    RAVELIN_TRY_VOID(write_anim_frame(out, m.placements[i].value.anim_frame, part_count, at / "value" / "anim_frame"));
  }

  RAVELIN_TRY_VOID(write_count(out, m.cyl_spheres.size(), root / "cyl_spheres"));
  for (const CylSphere& c : m.cyl_spheres) {
    write_vector3(out, c.origin);
    out.u32(c.radius);
    out.u32(c.height);
  }
  RAVELIN_TRY_VOID(write_count(out, m.spheres.size(), root / "spheres"));
  for (const common::Sphere& s : m.spheres) write_sphere(out, s);
  for (const std::uint32_t scalar : m.scalars) out.u32(scalar);
  write_sphere(out, m.sphere_1);
  write_sphere(out, m.sphere_2);
  RAVELIN_TRY_VOID(write_keyed(out, m.lights, root / "lights", [&out](const LightInfo& l) {
    write_frame(out, l.viewer_space_location);
    out.u32(l.color);
    out.u32(l.intensity);
    out.u32(l.falloff);
    out.u32(l.cone_angle);
  }));
  for (const std::uint32_t id : {m.default_id_1, m.default_script_id, m.motion_table_id, m.default_id_4, m.default_id_5})
    out.u32(id);
  return std::move(out).finish(m.trailing);
}

}  // namespace ravelin::dat::file_type
