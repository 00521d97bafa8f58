#include "dat_writer/motion_table_encoder.h"

#include "ravelin/dat/file_type/motion_table_encoder.h"

namespace ravelin::dat_writer {
namespace {

namespace ft = dat::file_type;

// Every entry of a table starts on a multiple of 4: one alignment byte follows
// its three header bytes.
ft::StoredMotionDataMap stored_map(const std::vector<MotionEntryDef>& entries) {
  ft::StoredMotionDataMap map;
  for (const auto& [key, data] : entries) {
    ft::StoredMotionData d;
    for (const AnimRefDef& a : data.anims) d.anims.push_back({a.anim_id, a.start_frame, a.end_frame, a.word_4});
    d.aux_byte = data.aux_byte;
    d.flags = static_cast<std::uint8_t>((data.vector_1 ? 0x1 : 0) | (data.vector_2 ? 0x2 : 0) | data.extra_flags);
    if (data.alignment_fill != 0) d.padding = ft::Bytes{data.alignment_fill};
    if (data.vector_1) d.vector_1 = as_vector3(*data.vector_1);
    if (data.vector_2) d.vector_2 = as_vector3(*data.vector_2);
    map.push_back({key, std::move(d)});
  }
  return map;
}

ft::StoredMotionTable stored_table(const MotionTableDef& table) {
  ft::StoredMotionTable t;
  t.id = table.id;
  t.default_stance = table.default_stance;
  for (const auto& [key, value] : table.key_pairs) t.key_pairs.push_back({key, value});
  t.motion_data_0 = stored_map(table.motion_data_0);
  t.motion_data_1 = stored_map(table.motion_data_1);
  for (const LinkDef& link : table.links) t.links.push_back({link.outer_key, stored_map(link.entries)});
  return t;
}

void write_map(ByteWriter& out, const std::vector<MotionEntryDef>& entries) {
  out.u32(static_cast<std::uint32_t>(entries.size()));
  for (const auto& [key, data] : entries) {
    const std::uint8_t flags = static_cast<std::uint8_t>(
        (data.vector_1 ? 0x1 : 0) | (data.vector_2 ? 0x2 : 0) | data.extra_flags);
    out.u32(key).u8(static_cast<std::uint8_t>(data.anims.size())).u8(data.aux_byte).u8(flags);
    while (out.size() % 4 != 0) out.u8(data.alignment_fill);
    for (const auto& anim : data.anims)
      out.u32(anim.anim_id).i32(anim.start_frame).i32(anim.end_frame).u32(anim.word_4);
    if (data.vector_1) write_vec3(out, *data.vector_1);
    if (data.vector_2) write_vec3(out, *data.vector_2);
  }
}

}  // namespace

// The library's encoder where it takes the description; entries of more than
// 255 anims and flag bits 0 and 1 without their vectors are written by hand.
std::vector<std::uint8_t> encode_motion_table(const MotionTableDef& table) {
  if (auto bytes = ft::encode_motion_table(stored_table(table))) return std::move(*bytes);
  ByteWriter out;
  out.u32(table.id).u32(table.default_stance).u32(static_cast<std::uint32_t>(table.key_pairs.size()));
  for (const auto& [key, value] : table.key_pairs) out.u32(key).u32(value);
  write_map(out, table.motion_data_0);
  write_map(out, table.motion_data_1);
  out.u32(static_cast<std::uint32_t>(table.links.size()));
  for (const auto& link : table.links) {
    out.u32(link.outer_key);
    write_map(out, link.entries);
  }
  return out.take();
}

MotionDataDef motion_data_playing(std::vector<std::uint32_t> anim_ids) {
  MotionDataDef data;
  for (auto id : anim_ids) {
    AnimRefDef anim;
    anim.anim_id = id;
    data.anims.push_back(anim);
  }
  return data;
}

}  // namespace ravelin::dat_writer
