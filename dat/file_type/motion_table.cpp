#include "ravelin/dat/file_type/motion_table.h"

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

// Moves to the next multiple of 4 without reading; a position past the end only
// fails at the next read.
void skip_to_alignment(common::Reader& reader) {
  const std::uint64_t rest = reader.position() % 4;
  if (rest != 0) reader.set_position(reader.position() + (4 - rest));
}

common::ReadResult<MotionData> read_motion_data(common::Reader& reader) {
  MotionData d;
  std::uint8_t anim_count = 0;
  RAVELIN_TRY(anim_count, reader.read_u8());
  RAVELIN_TRY(d.aux_byte, reader.read_u8());
  std::uint8_t flags = 0;
  RAVELIN_TRY(flags, reader.read_u8());
  d.flags = flags & (MotionData::kHasVector1 | MotionData::kHasVector2);
  skip_to_alignment(reader);

  RAVELIN_TRY(d.anims, common::read_list<AnimRef>(reader, anim_count, 16, read_anim_ref));
  if (d.flags & MotionData::kHasVector1) {
    common::Vector3 v;
    RAVELIN_TRY(v, common::Vector3::read(reader));
    d.vector_1 = v;
  }
  if (d.flags & MotionData::kHasVector2) {
    common::Vector3 v;
    RAVELIN_TRY(v, common::Vector3::read(reader));
    d.vector_2 = v;
  }
  return d;
}

}  // namespace

common::ReadResult<MotionDataMap> parse_motion_data_map(common::Reader& reader) {
  MotionDataMap map;
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  for (std::uint32_t n = 0; n < count; ++n) {
    std::uint32_t key = 0;
    RAVELIN_TRY(key, reader.read_u32());
    MotionData data;
    RAVELIN_TRY(data, read_motion_data(reader));
    map.insert_or_assign(key, std::move(data));
  }
  return map;
}

common::ReadResult<MotionTable> MotionTable::read(common::Reader& reader) {
  MotionTable t;
  RAVELIN_TRY(t.id, reader.read_u32());
  RAVELIN_TRY(t.default_stance, reader.read_u32());
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  for (std::uint32_t n = 0; n < count; ++n) {
    std::uint32_t key = 0, value = 0;
    RAVELIN_TRY(key, reader.read_u32());
    RAVELIN_TRY(value, reader.read_u32());
    t.key_pairs.insert_or_assign(key, value);
  }
  RAVELIN_TRY(t.motion_data_0, parse_motion_data_map(reader));
  RAVELIN_TRY(t.motion_data_1, parse_motion_data_map(reader));
  RAVELIN_TRY(count, reader.read_u32());
  for (std::uint32_t n = 0; n < count; ++n) {
    std::uint32_t outer = 0;
    RAVELIN_TRY(outer, reader.read_u32());
    MotionDataMap inner;
    RAVELIN_TRY(inner, parse_motion_data_map(reader));
    t.links.insert_or_assign(outer, std::move(inner));
  }
  return t;
}

}  // namespace ravelin::dat::file_type
