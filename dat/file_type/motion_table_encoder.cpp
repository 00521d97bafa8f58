#include "ravelin/dat/file_type/motion_table_encoder.h"

#include <string>

#include "dat/file_type/record_encoder_bytes.h"

namespace ravelin::dat::file_type {
namespace {

common::ReadResult<AnimRef> read_anim_ref(common::Reader& reader) {
  AnimRef r;
  RAVELIN_TRY(r.anim_id, reader.read_u32());
  RAVELIN_TRY(r.start_frame, reader.read_i32());
  RAVELIN_TRY(r.end_frame, reader.read_i32());
  RAVELIN_TRY(r.word_4, reader.read_u32());
  return r;
}

common::ReadResult<StoredMotionData> read_motion_data(common::Reader& reader) {
  StoredMotionData d;
  std::uint8_t anim_count = 0;
  RAVELIN_TRY(anim_count, reader.read_u8());
  RAVELIN_TRY(d.aux_byte, reader.read_u8());
  RAVELIN_TRY(d.flags, reader.read_u8());
  RAVELIN_TRY(d.padding, read_alignment(reader));
  RAVELIN_TRY(d.anims, common::read_list<AnimRef>(reader, anim_count, 16, read_anim_ref));
  if (d.flags & MotionData::kHasVector1) RAVELIN_TRY(d.vector_1, common::Vector3::read(reader));
  if (d.flags & MotionData::kHasVector2) RAVELIN_TRY(d.vector_2, common::Vector3::read(reader));
  return d;
}

common::ReadResult<StoredMotionDataMap> read_map(common::Reader& reader) {
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  // An entry is at least its key and its three header bytes.
  return common::read_list<Keyed<std::uint32_t, StoredMotionData>>(
      reader, count, 7, [](common::Reader& r) -> common::ReadResult<Keyed<std::uint32_t, StoredMotionData>> {
        Keyed<std::uint32_t, StoredMotionData> entry;
        RAVELIN_TRY(entry.key, r.read_u32());
        RAVELIN_TRY(entry.value, read_motion_data(r));
        return entry;
      });
}

RecordResult<void> write_count(RecordOutput& out, std::size_t size, const RecordPath& path) {
  RAVELIN_TRY_VOID(check_count(size, 0xFFFFFFFF, path));
  out.u32(static_cast<std::uint32_t>(size));
  return {};
}

// A vector is stored exactly when its bit of the flags byte is set.
RecordResult<void> check_vector(bool present, std::uint8_t flags, std::uint8_t bit, const RecordPath& path) {
  if (present == ((flags & bit) != 0)) return {};
  return path.fail(present ? "expected null: flags lacks bit 0x" + std::to_string(bit)
                           : "expected a vector: flags has bit 0x" + std::to_string(bit));
}

RecordResult<void> write_map(RecordOutput& out, const StoredMotionDataMap& map, const RecordPath& path) {
  RAVELIN_TRY_VOID(write_count(out, map.size(), path));
  for (std::size_t i = 0; i < map.size(); ++i) {
    const StoredMotionData& d = map[i].value;
    const RecordPath at(path, i);
    const RecordPath value(at, "value");
    RAVELIN_TRY_VOID(check_count(d.anims.size(), 0xFF, value / "anims"));
    RAVELIN_TRY_VOID(check_vector(d.vector_1.has_value(), d.flags, MotionData::kHasVector1, value / "vector_1"));
    RAVELIN_TRY_VOID(check_vector(d.vector_2.has_value(), d.flags, MotionData::kHasVector2, value / "vector_2"));
    out.u32(map[i].key);
    out.u8(static_cast<std::uint8_t>(d.anims.size()));
    out.u8(d.aux_byte);
    out.u8(d.flags);
    RAVELIN_TRY_VOID(out.align(d.padding, value / "padding"));
    for (const AnimRef& a : d.anims) {
      out.u32(a.anim_id);
      out.i32(a.start_frame);
      out.i32(a.end_frame);
      out.u32(a.word_4);
    }
    if (d.vector_1) write_vector3(out, *d.vector_1);
    if (d.vector_2) write_vector3(out, *d.vector_2);
  }
  return {};
}

}  // namespace

common::ReadResult<StoredMotionTable> StoredMotionTable::read(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  StoredMotionTable t;
  RAVELIN_TRY(t.id, reader.read_u32());
  RAVELIN_TRY(t.default_stance, reader.read_u32());
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(t.key_pairs,
              (common::read_list<Keyed<std::uint32_t, std::uint32_t>>(
                  reader, count, 8, [](common::Reader& r) -> common::ReadResult<Keyed<std::uint32_t, std::uint32_t>> {
                    Keyed<std::uint32_t, std::uint32_t> pair;
                    RAVELIN_TRY(pair.key, r.read_u32());
                    RAVELIN_TRY(pair.value, r.read_u32());
                    return pair;
                  })));
  RAVELIN_TRY(t.motion_data_0, read_map(reader));
  RAVELIN_TRY(t.motion_data_1, read_map(reader));
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(t.links, (common::read_list<Keyed<std::uint32_t, StoredMotionDataMap>>(
                           reader, count, 8,
                           [](common::Reader& r) -> common::ReadResult<Keyed<std::uint32_t, StoredMotionDataMap>> {
                             Keyed<std::uint32_t, StoredMotionDataMap> link;
                             RAVELIN_TRY(link.key, r.read_u32());
                             RAVELIN_TRY(link.value, read_map(r));
                             return link;
                           })));
  t.trailing = trailing_bytes(reader);
  return t;
}

RecordResult<Bytes> encode_motion_table(const StoredMotionTable& t) {
  const RecordPath root;
  RecordOutput out;
  out.u32(t.id);
  out.u32(t.default_stance);
  RAVELIN_TRY_VOID(write_count(out, t.key_pairs.size(), root / "key_pairs"));
  for (const auto& pair : t.key_pairs) {
    out.u32(pair.key);
    out.u32(pair.value);
  }
  RAVELIN_TRY_VOID(write_map(out, t.motion_data_0, root / "motion_data_0"));
  RAVELIN_TRY_VOID(write_map(out, t.motion_data_1, root / "motion_data_1"));
  const RecordPath links(root, "links");
  RAVELIN_TRY_VOID(write_count(out, t.links.size(), links));
  for (std::size_t i = 0; i < t.links.size(); ++i) {
    out.u32(t.links[i].key);
    const RecordPath at(links, i);
    RAVELIN_TRY_VOID(write_map(out, t.links[i].value, at / "value"));
  }
  return std::move(out).finish(t.trailing);
}

}  // namespace ravelin::dat::file_type
